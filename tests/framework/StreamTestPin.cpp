#include "tests/framework/StreamTestPin.h"

#include "framework/ComPtr.h"

StreamTestPin::StreamTestPin(SourceFilterBase* filter, LPCWSTR name, HRESULT* result)
    : SourceStreamPin(result, filter, name)
{
    InitEmptyType(&streamType);
    streamType.majortype = MEDIATYPE_Video;
    streamType.subtype = MEDIASUBTYPE_MPEG2_VIDEO;
    streamType.formattype = FORMAT_None;
}

// FillSample reads this pin's members, so the thread ends while they exist.
StreamTestPin::~StreamTestPin() { EndStreaming(); }

HRESULT StreamTestPin::FillSample(IMediaSample* sample)
{
    size_t call = size_t(fills.fetch_add(1));
    if (call < fillAnswers.size() && fillAnswers[call] != S_OK)
        return fillAnswers[call];
    AutoLock cursor(&cursorLock);
    if (segmentLength >= 0 && filledInSegment >= segmentLength)
        return S_FALSE;
    BYTE* data = nullptr;
    RETURN_IF_FAILED(sample->GetPointer(&data));
    LONG position = nextPosition++;
    ++filledInSegment;
    for (int i = 0; i < 4; ++i)
        data[i] = BYTE(DWORD(position) >> (8 * i));
    sample->SetActualDataLength(4);
    REFERENCE_TIME start = position * SampleDuration, stop = start + SampleDuration;
    sample->SetTime(&start, &stop);
    return S_OK;
}

HRESULT StreamTestPin::OnThreadBegin()
{
    begins.fetch_add(1);
    AutoLock cursor(&cursorLock);
    filledInSegment = 0;
    return beginAnswer;
}

HRESULT StreamTestPin::OnThreadEnd()
{
    ends.fetch_add(1);
    return S_OK;
}

HRESULT StreamTestPin::OnPlayBegin()
{
    playBegins.fetch_add(1);
    return S_OK;
}

HRESULT StreamTestPin::GetStreamType(MediaTypeRecord* type) { return type->Assign(streamType); }

HRESULT StreamTestPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties)
{
    ALLOCATOR_PROPERTIES request = *properties;
    request.cBuffers = 2;
    request.cbBuffer = 64;
    ALLOCATOR_PROPERTIES actual = {};
    RETURN_IF_FAILED(allocator->SetProperties(&request, &actual));
    return actual.cbBuffer >= 4 && actual.cBuffers >= 1 ? S_OK : E_FAIL;
}

HRESULT StreamTestPin::AcquireSample(IMediaSample** out, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags)
{
    HRESULT result = SourceStreamPin::AcquireSample(out, start, stop, flags);
    if (FAILED(result))
        failedAcquires.fetch_add(1);
    return result;
}

// Like the seeking hooks, this runs without the state lock, so it may meet a
// Pause or Stop on another thread.
HRESULT StreamTestPin::Seek(LONG position)
{
    SendBeginFlush();
    HRESULT stopped = SendCommand(CommandStop);
    {
        AutoLock cursor(&cursorLock);
        nextPosition = position;
        filledInSegment = 0;
    }
    SendEndFlush();
    RETURN_IF_FAILED(stopped);
    return SendCommand(CommandRun);
}

LONG StreamTestPin::NextPosition()
{
    AutoLock cursor(&cursorLock);
    return nextPosition;
}

LONG SamplePosition(const std::vector<BYTE>& bytes)
{
    if (bytes.size() != 4)
        return -1;
    DWORD value = 0;
    for (int i = 0; i < 4; ++i)
        value |= DWORD(bytes[size_t(i)]) << (8 * i);
    return LONG(value);
}
