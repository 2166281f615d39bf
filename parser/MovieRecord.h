// The movie-wide values that parsing a file produces, and everything they own.
// Written during Load only and read afterwards without a lock.
#pragma once

#include "parser/FragmentIndex.h"
#include "parser/TrackRecord.h"
#include "platform/Platform.h"

#include <cstdint>
#include <cstdio>
#include <memory>

class MovieRecord {
  public:
    MovieRecord() = default;
    ~MovieRecord();
    MovieRecord(const MovieRecord&) = delete;
    MovieRecord& operator=(const MovieRecord&) = delete;

    char filePath[MAX_PATH] = {}; // ANSI path of the movie, set before parsing
    FILE* parseFile = nullptr;    // the parser's own read handle, closed with the record
    int32_t trackCount = 0;       // track boxes met in the movie box
    uint32_t movieTimeScale = 0;
    uint32_t movieDuration = 0;

    // The sentinel, followed by one record per track box in file order; every
    // track-level write goes to the tail.
    TrackRecord trackList;
    TrackRecord* trackListTail = &trackList;

    // One set per kind for the whole movie: a later track of the same kind
    // overwrites what an earlier one stored.
    int32_t videoWidth = 0;
    int32_t videoHeight = 0;
    int32_t videoDepth = 0;
    int32_t audioChannels = 0;
    int32_t audioSampleSize = 0;
    uint32_t audioSampleRate = 0;

    // The movie fragments after the movie box, indexed before its tracks are
    // walked; empty when the movie is not fragmented.
    MovieFragments fragments;

    int32_t hasVideo = 0; // a streamable video track was met and its pin asked for
    int32_t hasAudio = 0; // the same for sound

    // Links a new record after the tail and makes it the tail; null when no
    // memory is left, and the tail stays where it was.
    TrackRecord* AppendTrack();

    // The first parameter sets of the last video track; answer 1.
    int GetSequenceParameterSet(const BYTE** data, int32_t* size) const;
    int GetPictureParameterSet(const BYTE** data, int32_t* size) const;
    // Takes over both sets (either may be null with size 0), freeing the old ones.
    void StoreParameterSets(std::unique_ptr<BYTE[]> sps, int32_t spsSize, std::unique_ptr<BYTE[]> pps, int32_t ppsSize);

    uint32_t GetAudioSampleRate() const { return audioSampleRate; }
    int32_t GetAudioChannels() const { return audioChannels; }

    // The track information text; null before it was built.
    const char* GetInfoText() const { return infoText.get(); }
    void StoreInfoText(std::unique_ptr<char[]> text) { infoText = std::move(text); }

  private:
    std::unique_ptr<BYTE[]> spsData;
    int32_t spsSize = 0;
    std::unique_ptr<BYTE[]> ppsData;
    int32_t ppsSize = 0;
    std::unique_ptr<char[]> infoText;
};
