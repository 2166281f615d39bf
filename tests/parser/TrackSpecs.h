// Typical tracks for the parser's tests.
#pragma once

#include "tests/support/MovieBuilder.h"

inline bool operator==(const ChunkMapEntry& a, const ChunkMapEntry& b)
{
    return a.firstChunk == b.firstChunk && a.samplesPerChunk == b.samplesPerChunk &&
           a.sampleDescriptionIndex == b.sampleDescriptionIndex;
}

inline TrackSpec VideoTrack(uint32_t trackId = 1)
{
    TrackSpec track;
    track.trackId = trackId;
    track.chunkMap = {{1, 2, 1}, {3, 1, 1}};
    return track;
}

// AAC LC, 44,100 Hz, stereo, with its decoder configuration.
inline TrackSpec SoundTrack(uint32_t trackId = 2)
{
    TrackSpec track;
    track.trackId = trackId;
    track.handlerType = "soun";
    track.format = "mp4a";
    track.timeScale = 44100;
    track.duration = 44100;
    track.audioSpecificConfig = {0x12, 0x10};
    track.chunkMap = {{1, 4, 1}};
    return track;
}

inline TrackSpec TextTrack(uint32_t trackId = 3)
{
    TrackSpec track;
    track.trackId = trackId;
    track.handlerType = "text";
    track.format = "text";
    track.timeScale = 600;
    track.duration = 600;
    track.chunkMap = {{1, 5, 1}};
    return track;
}

inline MovieSpec MovieOf(std::vector<TrackSpec> tracks)
{
    MovieSpec movie;
    movie.tracks = std::move(tracks);
    return movie;
}
