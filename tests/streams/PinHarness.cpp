#include "tests/streams/PinHarness.h"

#include "parser/TimingTables.h"

#include "framework/ComPtr.h"
#include "parser/StreamTypes.h"

#include <cstdio>

std::vector<uint8_t> NalSample(const std::vector<uint32_t>& payloadSizes, uint8_t seed)
{
    std::vector<uint8_t> sample;
    for (uint32_t size : payloadSizes) {
        for (int shift = 24; shift >= 0; shift -= 8)
            sample.push_back(uint8_t(size >> shift));
        for (uint32_t i = 0; i < size; ++i)
            sample.push_back(uint8_t(seed + i * 3 + 0x40)); // never three zeros in a row
    }
    return sample;
}

MediaTypeRecord StreamTypeOf(StreamKind kind)
{
    struct KindType {
        StreamKind kind;
        const GUID* major;
        const GUID* subtype;
        const GUID* format;
    };
    static const KindType types[] = {
        {StreamKind::Aac, &MEDIATYPE_Audio, &AacStreamSubtype, &AacStreamFormat},
        {StreamKind::Avc, &MEDIATYPE_Video, &AvcStreamSubtype, &AvcStreamFormat},
        {StreamKind::Mpeg4Video, &MEDIATYPE_Video, &MEDIASUBTYPE_MPEG2_VIDEO, &FORMAT_MPEG2Video},
        {StreamKind::Hevc, &MEDIATYPE_Video, &HevcStreamSubtype, &FORMAT_MPEG2Video},
        {StreamKind::Pcm, &MEDIATYPE_Audio, &PcmStreamSubtype, &FORMAT_WaveFormatEx},
        {StreamKind::Other, &MEDIATYPE_Audio, &Mp3StreamSubtype, &FORMAT_WaveFormatEx},
    };
    MediaTypeRecord type;
    for (const KindType& known : types) {
        if (known.kind == kind) {
            type.majortype = *known.major;
            type.subtype = *known.subtype;
            type.formattype = *known.format;
        }
    }
    return type;
}

namespace {

SourceFilterBase* NewHostFilter()
{
    auto* filter = new SourceFilterBase("host", nullptr, GUID_NULL);
    static_cast<IBaseFilter*>(filter)->AddRef();
    return filter;
}

} // namespace

PinHarness::PinHarness() : PinHarness(NewHostFilter()) {}

PinHarness::PinHarness(SourceFilterBase* created) : SourceGraph(created), filter(created) {}

PinHarness::~PinHarness()
{
    Close(); // destroys the pins, which close the files
    for (const TrackFile& file : files)
        std::remove(file.path.c_str());
}

MovieOutputPin* PinHarness::AddBarePin(StreamKind kind, LPCWSTR name)
{
    HRESULT result = E_FAIL;
    auto* pin = new MovieOutputPin(&result, filter, name);
    MediaTypeRecord type = StreamTypeOf(kind);
    pin->OfferType(&type);
    return pin;
}

void PinHarness::HandOver(MovieOutputPin* pin, const PinTrack& track, const std::string& path)
{
    const TrackFile* file = nullptr;
    for (const TrackFile& written : files)
        if (written.path == path)
            file = &written;
    TrackStreamData data;
    data.chunkMap = file ? file->chunkMap : nullptr;
    data.chunkCount = file ? file->chunkCount : 0;
    data.spsData = track.sps.data();
    data.spsSize = int32_t(track.sps.size());
    data.ppsData = track.pps.data();
    data.ppsSize = int32_t(track.pps.size());
    data.audioSampleRate = track.sampleRate;
    data.audioChannels = track.channels;
    const uint32_t count = uint32_t(track.samples.size());
    const REFERENCE_TIME duration = track.duration ? track.duration : REFERENCE_TIME(count) * 400000;
    if (!track.syncSamples.empty() && count > 0) {
        std::vector<uint32_t> sync = {uint32_t(track.syncSamples.size())};
        sync.insert(sync.end(), track.syncSamples.begin(), track.syncSamples.end());
        const std::vector<uint8_t> stts = TableBox("stts", 0, {1, count, uint32_t(duration / count)});
        const std::vector<uint8_t> stss = TableBox("stss", 0, sync);
        std::vector<uint8_t> boxes(stts);
        boxes.insert(boxes.end(), stss.begin(), stss.end());
        data.timing = AppendTimingTables(path, boxes, count, 10000000, EditStart());
    }
    pin->SetTrackData(data);
    pin->OpenStreamFiles(path.c_str());
    pin->SetStreamTiming(count, duration);
    pin->SetSampleSizeTableOffset(file ? file->sizeTableOffset : 0);
    pin->SetChunkOffsetTableOffset(file ? file->chunkTableOffset : 0);
}

MovieOutputPin* PinHarness::AddPin(const PinTrack& track, const std::string& fileName)
{
    files.push_back(WriteTrackFile(fileName, track.samples, track.map));
    MovieOutputPin* pin = AddBarePin(track.kind);
    HandOver(pin, track, files.back().path);
    return pin;
}

FilledSample PinHarness::Fill(MovieOutputPin* pin, LONG bufferSize)
{
    FilledSample filled;
    ComPtr<IMemAllocator> allocator;
    if (FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                allocator.PutVoid())))
        return filled;
    ALLOCATOR_PROPERTIES asked = {1, bufferSize, 1, 0};
    ALLOCATOR_PROPERTIES actual = {0, 0, 0, 0};
    allocator->SetProperties(&asked, &actual);
    allocator->Commit();
    ComPtr<IMediaSample> sample;
    if (SUCCEEDED(allocator->GetBuffer(sample.Put(), nullptr, nullptr, 0))) {
        filled.result = pin->FillSample(sample.Get());
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        if (filled.result == S_OK) {
            filled.bytes.assign(data, data + sample->GetActualDataLength());
            sample->GetTime(&filled.start, &filled.stop);
            filled.syncPoint = sample->IsSyncPoint() == S_OK;
            filled.discontinuity = sample->IsDiscontinuity() == S_OK;
        }
    }
    sample.Reset();
    allocator->Decommit();
    return filled;
}
