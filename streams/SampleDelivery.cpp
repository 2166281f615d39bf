// FillSample: the next sample of the track, read straight into the media
// sample's buffer, rewritten in place for the pin's stream kind and stamped.
// Nothing on this path allocates.
#include "streams/AnnexB.h"
#include "streams/MovieOutputPin.h"

#include <algorithm>
#include <cstring>

HRESULT MovieOutputPin::FillSample(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    AutoLock guard(&pinLock);
    // A pin whose file could not be opened fails the same way as unreadable
    // tables: end of stream, and the graph hears why.
    if (!ReadersOpen())
        return E_FAIL;
    BYTE* buffer = nullptr;
    HRESULT result = sample->GetPointer(&buffer);
    if (FAILED(result))
        return result;
    const LONG bufferSize = sample->GetSize();
    if (!buffer || bufferSize <= 0)
        return E_UNEXPECTED;

    // Uncompressed sound goes out in pieces of up to 100 ms of one chunk,
    // stamped from the first frame's time to where the next piece starts.
    SampleLocation location;
    result = kind == StreamKind::Pcm ? locator.AdvanceSamples(pcmFramesPerDelivery, &location)
                                     : locator.AdvanceSample(&location);
    if (result != S_OK)
        return result; // S_FALSE: the track's last sample was delivered
    SampleTimes times;
    result = timeline.Next(&times);
    if (result == S_OK && location.count > 1) {
        result = timeline.SkipTo(location.index + location.count);
        // A hostile edit list can end the track before the piece begins: the
        // stop then stays at the start rather than going back past it.
        times.stop = std::max(timeline.NextStart(), times.start);
    }
    if (result != S_OK)
        return result;

    size_t length = 0;
    switch (kind) {
    case StreamKind::Aac:
        result = WriteAacSample(location, buffer, size_t(bufferSize), &length);
        break;
    case StreamKind::Avc:
        result = nalLengthSize == 4 ? WriteAvcSample(location, buffer, size_t(bufferSize), &length)
                                    : WriteNalSample(location, nullptr, buffer, size_t(bufferSize), &length);
        break;
    case StreamKind::Hevc:
        // The parameter sets start every sync sample too: a decoder may join
        // the stream at any of them.
        result = WriteNalSample(location, discontinuityPending || times.sync ? &configuration : nullptr, buffer,
                                size_t(bufferSize), &length);
        break;
    case StreamKind::Mpeg4Video:
        result = WriteConfiguredSample(location, buffer, size_t(bufferSize), &length);
        break;
    case StreamKind::Pcm:
        result = WritePcmSamples(location, buffer, size_t(bufferSize), &length);
        break;
    case StreamKind::Other:
        result = WriteWholeSample(location, buffer, size_t(bufferSize), &length);
        break;
    }
    if (result != S_OK)
        return result;

    // Stamps count from the start of the segment; the rate travels in the new
    // segment and does not scale them. Samples that end by the start (an
    // encoder delay, the pictures that lead up to a seek target) are for the
    // decoder only.
    REFERENCE_TIME start = times.start - segmentStart;
    REFERENCE_TIME stop = times.stop - segmentStart;
    sample->SetActualDataLength(LONG(length));
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(times.sync ? TRUE : FALSE);
    sample->SetPreroll(stop <= 0 ? TRUE : FALSE);
    sample->SetDiscontinuity(discontinuityPending ? TRUE : FALSE);
    discontinuityPending = false;
    return S_OK;
}

HRESULT MovieOutputPin::ReadSampleBytes(const SampleLocation& location, BYTE* buffer)
{
    if (dataReader.ReadAt(location.offset, buffer, location.size) != location.size)
        return S_FALSE;
    return S_OK;
}

HRESULT MovieOutputPin::WriteAacSample(const SampleLocation& location, BYTE* buffer, size_t bufferSize, size_t* length)
{
    // A frame longer than the header's 13-bit length field cannot be
    // described: it is refused like one that does not fit the buffer.
    const uint8_t* header = adtsHeaders.HeaderFor(location.size);
    if (!header || !location.FitsBuffer(kAdtsHeaderSize, bufferSize))
        return VFW_E_BUFFER_OVERFLOW;
    HRESULT result = ReadSampleBytes(location, buffer + kAdtsHeaderSize);
    if (result != S_OK)
        return result;
    std::memcpy(buffer, header, kAdtsHeaderSize);
    *length = kAdtsHeaderSize + location.size;
    return S_OK;
}

HRESULT MovieOutputPin::WriteAvcSample(const SampleLocation& location, BYTE* buffer, size_t bufferSize, size_t* length)
{
    // The first sample after a start or a jump carries both parameter sets,
    // so that a decoder can begin there; every other one the picture set.
    const size_t prefix = AvcPrefixSize(discontinuityPending, size_t(spsData.size), size_t(ppsData.size));
    if (!location.FitsBuffer(prefix, bufferSize))
        return VFW_E_BUFFER_OVERFLOW;
    WriteAvcPrefix(buffer, bufferSize, discontinuityPending, spsData.data.get(), size_t(spsData.size),
                   ppsData.data.get(), size_t(ppsData.size));
    HRESULT result = ReadSampleBytes(location, buffer + prefix);
    if (result != S_OK)
        return result;
    ConvertLengthPrefixesToStartCodes(buffer + prefix, location.size);
    *length = prefix + location.size;
    return S_OK;
}

HRESULT MovieOutputPin::WriteWholeSample(const SampleLocation& location, BYTE* buffer, size_t bufferSize,
                                         size_t* length)
{
    if (!location.FitsBuffer(0, bufferSize))
        return VFW_E_BUFFER_OVERFLOW;
    HRESULT result = ReadSampleBytes(location, buffer);
    if (result != S_OK)
        return result;
    *length = location.size;
    return S_OK;
}

HRESULT MovieOutputPin::WriteNalSample(const SampleLocation& location, const ParameterSet* front, BYTE* buffer,
                                       size_t bufferSize, size_t* length)
{
    // The sample is read into the end of the buffer and its units written
    // forward from the front: with lengths shorter than the start code the
    // stream grows, but never past the bytes not yet read.
    const size_t prefix = front ? size_t(front->size) : 0;
    if (!location.FitsBuffer(prefix, bufferSize))
        return VFW_E_BUFFER_OVERFLOW;
    BYTE* stored = buffer + bufferSize - location.size;
    HRESULT result = ReadSampleBytes(location, stored);
    if (result != S_OK)
        return result;
    const size_t converted = StartCodeSampleSize(stored, location.size, nalLengthSize);
    if (converted > bufferSize - prefix)
        return VFW_E_BUFFER_OVERFLOW;
    if (prefix > 0)
        std::memcpy(buffer, front->data.get(), prefix);
    *length = prefix + CopyAsStartCodes(stored, location.size, nalLengthSize, buffer + prefix, bufferSize - prefix);
    return S_OK;
}

HRESULT MovieOutputPin::WriteConfiguredSample(const SampleLocation& location, BYTE* buffer, size_t bufferSize,
                                              size_t* length)
{
    // The decoder configuration starts the stream after a start or a jump,
    // so that what is delivered decodes on its own.
    const size_t prefix = discontinuityPending ? size_t(configuration.size) : 0;
    if (!location.FitsBuffer(prefix, bufferSize))
        return VFW_E_BUFFER_OVERFLOW;
    if (prefix > 0)
        std::memcpy(buffer, configuration.data.get(), prefix);
    HRESULT result = ReadSampleBytes(location, buffer + prefix);
    if (result != S_OK)
        return result;
    *length = prefix + location.size;
    return S_OK;
}

HRESULT MovieOutputPin::WritePcmSamples(const SampleLocation& location, BYTE* buffer, size_t bufferSize, size_t* length)
{
    HRESULT result = WriteWholeSample(location, buffer, bufferSize, length);
    if (result == S_OK)
        ConvertPcmToPlatform(pcmFormat, buffer, *length);
    return result;
}
