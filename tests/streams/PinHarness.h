// Movie output pins on track files built byte by byte, handed their tables as
// the parser hands them over, owned by a plain source filter in a recording
// graph. Samples can be filled one at a time from an allocator of a chosen
// buffer size, or streamed by the pin's thread into test sinks.
#pragma once

#include "streams/MovieOutputPin.h"
#include "tests/streams/TrackFile.h"
#include "tests/support/SourceGraph.h"

#include <string>
#include <vector>

// What the parser would hand a pin, and the file it reads.
struct PinTrack {
    StreamKind kind = StreamKind::Avc;
    std::vector<std::vector<uint8_t>> samples;
    std::vector<ChunkMapEntry> map = {{1, 1, 1}};
    REFERENCE_TIME duration = 0; // 400,000 per sample when 0
    std::vector<uint8_t> sps;
    std::vector<uint8_t> pps;
    uint32_t sampleRate = 44100;
    int32_t channels = 2;
    // Sync sample numbers (from 1): when given, the track is timed by tables
    // appended to its file, its decoding durations the duration's share.
    std::vector<uint32_t> syncSamples;
};

// One sample as FillSample left it.
struct FilledSample {
    HRESULT result = E_FAIL;
    std::vector<uint8_t> bytes; // the actual data length's worth
    REFERENCE_TIME start = -1;
    REFERENCE_TIME stop = -1;
    bool syncPoint = false;
    bool discontinuity = false;
};

// A sample of 4-byte length-prefixed NAL units of these payload sizes; each
// payload's bytes follow from the seed.
std::vector<uint8_t> NalSample(const std::vector<uint32_t>& payloadSizes, uint8_t seed);

class PinHarness : public SourceGraph {
public:
    PinHarness();
    ~PinHarness();

    // Writes the track's file as fileName and makes a pin for it.
    MovieOutputPin* AddPin(const PinTrack& track, const std::string& fileName);
    // A pin that offers the media type of kind, with no track handed over yet.
    MovieOutputPin* AddBarePin(StreamKind kind, LPCWSTR name = L"pin");
    // Hands the track over as the parser does: data, files, timing, tables.
    void HandOver(MovieOutputPin* pin, const PinTrack& track, const std::string& path);

    // One FillSample call on a sample of an allocator with this buffer size.
    FilledSample Fill(MovieOutputPin* pin, LONG bufferSize = MovieOutputPin::kBufferSize);

    SinkPin& Connect(MovieOutputPin* pin) { return SourceGraph::Connect(static_cast<IPin*>(pin)); }

    // The source as its own class; valid until the harness closes.
    SourceFilterBase* const filter;
    std::vector<TrackFile> files;

private:
    explicit PinHarness(SourceFilterBase* created);
};

MediaTypeRecord StreamTypeOf(StreamKind kind);
