#include "streams/MovieOutputPin.h"

#include "framework/ComPtr.h"
#include "parser/StreamTypes.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

// A pin whose timing the parser never set reports one second.
constexpr REFERENCE_TIME kDefaultDuration = SampleLocator::kDefaultDuration;

StreamKind KindOfType(const AM_MEDIA_TYPE& type)
{
    if (IsEqualGUID(type.majortype, MEDIATYPE_Audio) && IsEqualGUID(type.subtype, AacStreamSubtype))
        return StreamKind::Aac;
    if (IsEqualGUID(type.majortype, MEDIATYPE_Video) && IsEqualGUID(type.subtype, AvcStreamSubtype))
        return StreamKind::Avc;
    if (IsEqualGUID(type.majortype, MEDIATYPE_Video) && IsEqualGUID(type.subtype, HevcStreamSubtype))
        return StreamKind::Hevc;
    // The MPEG-4 video track keeps its kind under either of its types.
    if (IsEqualGUID(type.majortype, MEDIATYPE_Video) &&
        (IsEqualGUID(type.subtype, Mp4vStreamSubtype) || IsEqualGUID(type.subtype, MEDIASUBTYPE_MPEG2_VIDEO)))
        return StreamKind::Mpeg4Video;
    if (IsEqualGUID(type.majortype, MEDIATYPE_Audio) &&
        (IsEqualGUID(type.subtype, PcmStreamSubtype) || IsEqualGUID(type.subtype, FloatStreamSubtype)))
        return StreamKind::Pcm;
    return StreamKind::Other;
}

} // namespace

MovieOutputPin::MovieOutputPin(HRESULT* result, SourceFilterBase* filter, LPCWSTR pinName)
    : SourceStreamPin(result, filter, pinName),
      SeekingBase("MediaSeeking", static_cast<PinBase*>(this)->InnerUnknown(), result, filter->StateLock())
{
    duration.store(kDefaultDuration);
    startPosition.store(0);
    stopPosition.store(kDefaultDuration);
}

MovieOutputPin::~MovieOutputPin()
{
    // The streaming thread uses this pin's members: it ends before they go.
    EndStreaming();
    AutoLock guard(&pinLock);
    dataReader.Close();
    chunkReader.Close();
    sizeReader.Close();
    mapReader.Close();
    decodeTimeReader.Close();
    offsetReader.Close();
    syncReader.Close();
    fragmentReader.Close();
}

HRESULT MovieOutputPin::InnerQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IMediaSeeking))
        return ReturnInterface(static_cast<IMediaSeeking*>(this), out);
    return PinBase::InnerQueryInterface(iid, out);
}

HRESULT MovieOutputPin::QueryId(LPWSTR* out)
{
    return Filter() ? Filter()->PinIdOf(this, out) : E_UNEXPECTED;
}

HRESULT MovieOutputPin::OfferType(const AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    bool first = false;
    {
        AutoLock guard(&typeLock);
        if (offeredCount == kMaxTypes)
            return E_OUTOFMEMORY;
        HRESULT result = offeredTypes[offeredCount].Assign(*type);
        if (FAILED(result))
            return result;
        first = ++offeredCount == 1;
    }
    return first ? SetType(type) : S_OK;
}

HRESULT MovieOutputPin::CheckType(const AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    AutoLock guard(&typeLock);
    for (int i = 0; i < offeredCount; ++i)
        if (offeredTypes[i].Equals(*type))
            return S_OK;
    return E_FAIL;
}

HRESULT MovieOutputPin::SetType(const AM_MEDIA_TYPE* type)
{
    HRESULT result = PinBase::SetType(type);
    if (FAILED(result))
        return result;
    // The payload writer follows the type the connection took.
    AutoLock guard(&pinLock);
    kind = KindOfType(*type);
    return S_OK;
}

HRESULT MovieOutputPin::GetTypeAt(int index, MediaTypeRecord* type)
{
    if (!type)
        return E_POINTER;
    AutoLock guard(&typeLock);
    if (index < 0 || index >= offeredCount)
        return VFW_S_NO_MORE_ITEMS;
    return type->Assign(offeredTypes[index]);
}

HRESULT MovieOutputPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!allocator || !request)
        return E_POINTER;
    AutoLock guard(lock);
    // Downstream's count, alignment and prefix stand: a decoder that queues
    // samples asks for as many as it keeps. Asked for none, the pin keeps a
    // few in flight, so that the next sample is read while one is decoded.
    if (request->cBuffers <= 0)
        request->cBuffers = kDefaultBufferCount;
    request->cbBuffer = std::max(request->cbBuffer, kBufferSize);
    ALLOCATOR_PROPERTIES actual = {0, 0, 0, 0};
    RETURN_IF_FAILED(allocator->SetProperties(request, &actual));
    // Delivery never writes past the buffer it gets, but a smaller one would
    // end the stream at the first large sample.
    if (actual.cbBuffer < kBufferSize || actual.cBuffers < 1)
        return E_FAIL;
    return S_OK;
}

HRESULT MovieOutputPin::Activate()
{
    // Also when the base then starts nothing: a pin that is not connected
    // still starts from the seeking start the next time.
    Reposition();
    return SourceStreamPin::Activate();
}

HRESULT MovieOutputPin::OnThreadBegin()
{
    AutoLock guard(&pinLock);
    discontinuityPending = true;
    return S_OK;
}

HRESULT MovieOutputPin::OnPlayBegin()
{
    REFERENCE_TIME start = 0;
    {
        AutoLock guard(&pinLock);
        discontinuityPending = true;
        start = segmentStart;
    }
    return SendNewSegment(start, StopPosition(), Rate());
}

void MovieOutputPin::Reposition()
{
    AutoLock guard(&pinLock);
    // A video track starts at a sync sample: the pictures before the start
    // are delivered as preroll, for the decoder only.
    segmentStart = StartPosition();
    PlaceCursors(timeline.StartSampleAt(segmentStart), true);
    discontinuityPending = true;
}

void MovieOutputPin::PlaceCursors(uint32_t sample, bool newSegment)
{
    // Both answers come back from the next sample: the locator's from
    // AdvanceSample, the timeline's from Next.
    locator.LocateSample(sample);
    if (newSegment)
        timeline.PlaceAt(sample);
    else
        timeline.SkipTo(sample);
}

bool MovieOutputPin::ReadersOpen() const
{
    const bool timingOpen =
        !timeline.FromTables() || (decodeTimeReader.IsOpen() && offsetReader.IsOpen() && syncReader.IsOpen());
    const bool fragmentsOpen = fragmentSamples.EndSample() == 0 || fragmentReader.IsOpen();
    return sizeReader.IsOpen() && chunkReader.IsOpen() && mapReader.IsOpen() && dataReader.IsOpen() && timingOpen &&
           fragmentsOpen;
}

HRESULT MovieOutputPin::SetTrackData(const TrackStreamData& data)
{
    AutoLock guard(&pinLock);
    kind = KindOfType(connectionType);
    chunkCount = data.chunkCount;
    chunkOffsetSize = data.chunkOffsetSize;
    constantSampleSize = data.constantSampleSize;
    if (data.entry) {
        nalLengthSize = data.entry->nalLengthSize;
        pcmFormat = data.entry->pcm;
        pcmFramesPerDelivery = PcmFramesPerDelivery(data.entry->sampleRate);
        if (!configuration.CopyFrom(data.entry->configuration.data.get(), data.entry->configuration.size)) {
            locator.SetChunkMap(kind, nullptr);
            return E_OUTOFMEMORY;
        }
    }
    adtsHeaders = AdtsHeaderCache(data.audioSampleRate, data.audioChannels > 0 ? uint32_t(data.audioChannels) : 0);
    if (!spsData.CopyFrom(data.spsData, data.spsSize) || !ppsData.CopyFrom(data.ppsData, data.ppsSize)) {
        // Without its parameter sets no decoder could start: no map, so the
        // stream fails at its first sample.
        locator.SetChunkMap(kind, nullptr);
        return E_OUTOFMEMORY;
    }
    // Fragments whose buffers cannot be had, like a map that cannot be used,
    // make the stream fail at its first sample there.
    const bool fragmentsKept = fragmentSamples.SetTrack(data.fragments);
    timeline.SetTables(data.timing);
    const bool kept = locator.SetChunkMap(kind, data.chunkMap);
    const bool fragmentsOnly = data.fragments && data.fragments->tableSamples == 0;
    return fragmentsKept && (kept || fragmentsOnly) ? S_OK : E_FAIL;
}

HRESULT MovieOutputPin::OpenStreamFiles(const char* path)
{
    AutoLock guard(&pinLock);
    dataReader.Close();
    chunkReader.Close();
    sizeReader.Close();
    mapReader.Close();
    decodeTimeReader.Close();
    offsetReader.Close();
    syncReader.Close();
    fragmentReader.Close();
    // A path that does not fit would be opened cut short: some other file.
    if (!path || !std::memchr(path, '\0', sizeof streamPath))
        return E_FAIL;
    std::strcpy(streamPath, path);
    // Read-only handles: a movie on a read-only medium plays.
    if (!dataReader.Open(streamPath) || !chunkReader.Open(streamPath) || !sizeReader.Open(streamPath) ||
        !mapReader.Open(streamPath))
        return E_FAIL;
    if (timeline.FromTables() &&
        (!decodeTimeReader.Open(streamPath) || !offsetReader.Open(streamPath) || !syncReader.Open(streamPath)))
        return E_FAIL;
    if (fragmentSamples.EndSample() > 0 && !fragmentReader.Open(streamPath))
        return E_FAIL;
    return S_OK;
}

HRESULT MovieOutputPin::SetStreamTiming(uint32_t sampleCount, REFERENCE_TIME mediaDuration)
{
    REFERENCE_TIME presented = 0;
    {
        AutoLock guard(&pinLock);
        locator.SetStreamTiming(sampleCount, mediaDuration);
        timeline.SetStreamTiming(sampleCount, mediaDuration);
        presented = timeline.Duration();
    }
    // The seeking values after pinLock is released: the state lock comes first.
    AutoLock guard(seekingLock);
    duration.store(presented);
    stopPosition.store(presented);
    return S_OK;
}

HRESULT MovieOutputPin::SetSampleSizeTableOffset(int64_t offset)
{
    AutoLock guard(&pinLock);
    locator.SetSampleSizeTableOffset(offset, constantSampleSize);
    return S_OK;
}

HRESULT MovieOutputPin::SetChunkOffsetTableOffset(int64_t offset)
{
    AutoLock guard(&pinLock);
    locator.SetChunkOffsetTableOffset(offset, chunkCount, chunkOffsetSize);
    return S_OK;
}

StreamKind MovieOutputPin::Kind()
{
    AutoLock guard(&pinLock);
    return kind;
}

uint32_t MovieOutputPin::SampleCount()
{
    AutoLock guard(&pinLock);
    return locator.SampleCount();
}

REFERENCE_TIME MovieOutputPin::AverageSampleDuration()
{
    AutoLock guard(&pinLock);
    return locator.AverageSampleDuration();
}

bool MovieOutputPin::TimedByTables()
{
    AutoLock guard(&pinLock);
    return timeline.FromTables();
}
