// A stand-in for the filter side of the parser: it records every pin request
// and every hand-over call, so tests can check what parsing asked for.
#pragma once

#include "framework/MediaTypeRecord.h"
#include "parser/MovieParser.h"

#include <memory>
#include <string>
#include <vector>

// What one pin was handed.
struct PinCalls {
    std::vector<std::string> order; // names of the hand-over calls, in call order
    std::shared_ptr<const ChunkMapTable> chunkMap;
    uint32_t chunkCount = 0;
    uint32_t chunkOffsetSize = 4;
    uint32_t constantSampleSize = 0;
    std::vector<uint8_t> sps;
    std::vector<uint8_t> pps;
    uint32_t audioSampleRate = 0;
    int32_t audioChannels = 0;
    std::string path;
    uint32_t sampleCount = 0;
    uint32_t fragmentSamples = 0; // of sampleCount, those that lie in movie fragments
    REFERENCE_TIME mediaDuration = 0;
    int64_t sizeTableOffset = 0;
    int64_t chunkTableOffset = 0;

    // The chunk map's entries, read from the file at path; empty when there
    // is no map or its entries do not all lie in the file.
    std::vector<ChunkMapEntry> ChunkMapEntries() const;
};

class FakePin final : public IPin, public StreamPinSetup {
  public:
    PinCalls calls;
    LONG references = 1;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++references); }
    STDMETHODIMP_(ULONG) Release() override { return ULONG(--references); }
    STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP Disconnect() override { return E_NOTIMPL; }
    STDMETHODIMP ConnectedTo(IPin**) override { return E_NOTIMPL; }
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryPinInfo(PIN_INFO*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryDirection(PIN_DIRECTION*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryId(LPWSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
    STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP EndOfStream() override { return E_NOTIMPL; }
    STDMETHODIMP BeginFlush() override { return E_NOTIMPL; }
    STDMETHODIMP EndFlush() override { return E_NOTIMPL; }
    STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return E_NOTIMPL; }

    HRESULT SetTrackData(const TrackStreamData& data) override;
    HRESULT OpenStreamFiles(const char* path) override;
    HRESULT SetStreamTiming(uint32_t sampleCount, REFERENCE_TIME mediaDuration) override;
    HRESULT SetSampleSizeTableOffset(int64_t offset) override;
    HRESULT SetChunkOffsetTableOffset(int64_t offset) override;
};

struct PinRequest {
    MediaTypeRecord type;
    std::vector<MediaTypeRecord> moreTypes; // what AddPinType added, in order
    std::string name;
    std::unique_ptr<FakePin> pin; // null when the request was refused
};

class FakeParserHost : public ParserHost {
  public:
    std::vector<PinRequest> requests;
    bool refusePins = false;

    HRESULT AddOutputPin(const AM_MEDIA_TYPE* type, LPCWSTR name, IPin** pin) override;
    StreamPinSetup* GetPinSetup(IPin* pin) override;
    HRESULT AddPinType(IPin* pin, const AM_MEDIA_TYPE* type) override;

    // The pins that were made, in request order.
    std::vector<FakePin*> Pins() const;
};

// A movie written to a scratch file and parsed, with what the parse produced.
struct ParsedMovie {
    ParsedMovie() = default;
    ParsedMovie(const ParsedMovie&) = delete;
    ParsedMovie& operator=(const ParsedMovie&) = delete;
    // Closes the parser's file first, then removes a scratch file.
    ~ParsedMovie();

    std::string scratchFile; // removed with the parse
    std::unique_ptr<MovieRecord> movie = std::make_unique<MovieRecord>();
    FakeParserHost host;
    int result = 0;

    const TrackRecord* Track(size_t index) const; // null past the last record
    std::string Text() const { return movie->GetInfoText() ? movie->GetInfoText() : ""; }
};

// A scratch path named after the running test, so that test programs running
// side by side do not share files.
std::string ScratchPath(const std::string& suffix = "");
std::unique_ptr<ParsedMovie> ParseFile(const std::string& path);
std::unique_ptr<ParsedMovie> ParseBytes(const std::vector<uint8_t>& bytes);
