#include "tests/parser/FakeParserHost.h"

#include "tests/support/BoxBuilder.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

STDMETHODIMP FakePin::QueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IUnknown || iid == IID_IPin) {
        *out = static_cast<IPin*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakePin::SetTrackData(const TrackStreamData& data)
{
    calls.order.push_back("SetTrackData");
    calls.chunkMap = data.chunkMap;
    calls.chunkCount = data.chunkCount;
    calls.chunkOffsetSize = data.chunkOffsetSize;
    calls.constantSampleSize = data.constantSampleSize;
    calls.sps.assign(data.spsData, data.spsData + data.spsSize);
    calls.pps.assign(data.ppsData, data.ppsData + data.ppsSize);
    calls.audioSampleRate = data.audioSampleRate;
    calls.audioChannels = data.audioChannels;
    calls.fragmentSamples = data.fragments ? data.fragments->SampleCount() : 0;
    return S_OK;
}

HRESULT FakePin::OpenStreamFiles(const char* path)
{
    calls.order.push_back("OpenStreamFiles");
    calls.path = path;
    return S_OK;
}

HRESULT FakePin::SetStreamTiming(uint32_t sampleCount, REFERENCE_TIME mediaDuration)
{
    calls.order.push_back("SetStreamTiming");
    calls.sampleCount = sampleCount;
    calls.mediaDuration = mediaDuration;
    return S_OK;
}

HRESULT FakePin::SetSampleSizeTableOffset(int64_t offset)
{
    calls.order.push_back("SetSampleSizeTableOffset");
    calls.sizeTableOffset = offset;
    return S_OK;
}

HRESULT FakePin::SetChunkOffsetTableOffset(int64_t offset)
{
    calls.order.push_back("SetChunkOffsetTableOffset");
    calls.chunkTableOffset = offset;
    return S_OK;
}

std::vector<ChunkMapEntry> PinCalls::ChunkMapEntries() const
{
    std::vector<ChunkMapEntry> entries;
    std::FILE* file = chunkMap ? std::fopen(path.c_str(), "rb") : nullptr;
    if (!file)
        return entries;
    // Read as the parser reads: the table may lie past 4 GiB in a large fixture.
    BoxReader reader(file);
    std::vector<uint8_t> bytes(size_t(chunkMap->entryCount) * kChunkMapEntrySize);
    if (reader.ReadAt(chunkMap->offset, bytes.data(), bytes.size()))
        for (size_t at = 0; at < bytes.size(); at += kChunkMapEntrySize)
            entries.push_back(ChunkMapEntryAt(bytes.data() + at));
    std::fclose(file);
    return entries;
}

HRESULT FakeParserHost::AddOutputPin(const AM_MEDIA_TYPE* type, LPCWSTR name, IPin** pin)
{
    PinRequest request;
    request.type.Assign(*type);
    for (; *name; ++name)
        request.name += char(*name);
    *pin = nullptr;
    if (!refusePins) {
        request.pin = std::make_unique<FakePin>();
        request.pin->AddRef();
        *pin = request.pin.get();
    }
    requests.push_back(std::move(request));
    return refusePins ? E_OUTOFMEMORY : S_OK;
}

StreamPinSetup* FakeParserHost::GetPinSetup(IPin* pin)
{
    for (PinRequest& request : requests)
        if (request.pin && static_cast<IPin*>(request.pin.get()) == pin)
            return request.pin.get();
    return nullptr;
}

HRESULT FakeParserHost::AddPinType(IPin* pin, const AM_MEDIA_TYPE* type)
{
    for (PinRequest& request : requests)
        if (request.pin && static_cast<IPin*>(request.pin.get()) == pin) {
            request.moreTypes.emplace_back();
            return request.moreTypes.back().Assign(*type);
        }
    return E_INVALIDARG;
}

std::vector<FakePin*> FakeParserHost::Pins() const
{
    std::vector<FakePin*> pins;
    for (const PinRequest& request : requests)
        if (request.pin)
            pins.push_back(request.pin.get());
    return pins;
}

ParsedMovie::~ParsedMovie()
{
    movie.reset();
    if (!scratchFile.empty())
        std::remove(scratchFile.c_str());
}

const TrackRecord* ParsedMovie::Track(size_t index) const
{
    const TrackRecord* track = movie->trackList.next;
    for (; track && index > 0; --index)
        track = track->next;
    return track;
}

std::string ScratchPath(const std::string& suffix)
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "qtparser-";
    if (test)
        name += std::string(test->test_suite_name()) + "-" + test->name();
    for (char& c : name)
        if (c == '/')
            c = '_';
    return TempPath(name + suffix + ".mp4");
}

std::unique_ptr<ParsedMovie> ParseFile(const std::string& path)
{
    auto parsed = std::make_unique<ParsedMovie>();
    std::strncpy(parsed->movie->filePath, path.c_str(), sizeof parsed->movie->filePath - 1);
    parsed->result = ParseMovie(*parsed->movie, parsed->host);
    return parsed;
}

std::unique_ptr<ParsedMovie> ParseBytes(const std::vector<uint8_t>& bytes)
{
    const std::string path = ScratchPath();
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    auto parsed = ParseFile(path);
    parsed->scratchFile = path;
    return parsed;
}
