// What a pin must deliver from a fixture movie, from what ffmpeg read from the
// movie when the fixture script made it: every packet of the track as stored,
// the ADTS stream ffmpeg writes from an AAC track, the parameter sets of an
// H.264 track. Also the place where the tests leave what the pins delivered,
// for the script that decodes it with ffmpeg.
#pragma once

#include "tests/support/SinkPin.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ExpectedStream {
    int streamIndex = 0;
    std::string codec; // "h264", "aac" or "mpeg4"
    std::vector<std::vector<uint8_t>> packets;
    std::vector<uint8_t> adts;       // AAC: the packets as ffmpeg's ADTS stream
    std::vector<size_t> adtsOffsets; // where each packet's frame starts in it
    std::vector<uint8_t> sps;        // H.264: the first parameter sets of the track
    std::vector<uint8_t> pps;
    std::vector<uint8_t> configuration; // MPEG-4 video: the decoder configuration
    // Per packet in decoding order: when ffmpeg presents it, edit list
    // applied, in 100-ns units, and whether it is a key frame; and where the
    // last one presented ends.
    std::vector<REFERENCE_TIME> times;
    std::vector<bool> keys;
    REFERENCE_TIME end = 0;
    uint64_t durationTs = 0; // the media header's duration and time scale
    uint64_t timeScale = 0;

    // The track's duration in 100-ns units, as the media header gives it.
    REFERENCE_TIME MediaDuration() const;
};

// The streams a filter makes pins for, in track order; false (with the
// reason in *why) when an expectation file is missing or inconsistent.
bool LoadExpectedStreams(const std::string& moviePath, std::vector<ExpectedStream>* streams, std::string* why);

// An H.264 sample as the pin must deliver it: the sequence parameter set when
// withSequenceSet, then the picture parameter set, each behind a start code,
// then each NAL unit of the length-prefixed sample behind a start code.
std::vector<uint8_t> ExpectedAnnexB(const std::vector<uint8_t>& sample, const ExpectedStream& stream,
                                    bool withSequenceSet);

// Sample index of the stream as the pin must deliver it; first: the first
// sample after a start or a jump (H.264 then carries the sequence set too).
// An AAC sample is its frame of ffmpeg's ADTS stream.
std::vector<uint8_t> ExpectedSample(const ExpectedStream& stream, size_t index, bool first);

// The sample a start at t delivers first, by ffmpeg's times: 0 for t at or
// before 0; else the last key frame (every sound packet is one) presented at
// or before t; the count past the end.
size_t FirstSampleAt(const ExpectedStream& stream, REFERENCE_TIME t);

// The presentation times sorted: the k-th is the k-th stamp a pin delivers.
std::vector<REFERENCE_TIME> SortedTimes(const ExpectedStream& stream, size_t from = 0);

// Every sample of the stream as a pin may deliver it, in either form, keyed
// by its bytes: the index of the sample those bytes are.
using SampleCatalogue = std::map<std::vector<uint8_t>, size_t>;
SampleCatalogue CatalogueSamples(const ExpectedStream& stream);

// The folder for what the pins delivered (created when missing), or "" when
// the test command named none.
std::string DeliveredFolder();
// Writes the samples' bytes one after the other to DeliveredFolder()/name.
void WriteDelivered(const std::string& name, const std::vector<ReceivedSample>& samples);
