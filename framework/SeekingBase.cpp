#include "framework/SeekingBase.h"

#include <limits>

namespace {

const DWORD PositioningBits = AM_SEEKING_PositioningBitsMask;

bool IsMediaTime(const GUID* format) { return IsEqualGUID(*format, TIME_FORMAT_MEDIA_TIME); }

// Relative and incremental positions are sums of caller values: a sum that
// does not fit is refused rather than wrapped into a position nobody asked for.
bool AddPositions(REFERENCE_TIME a, REFERENCE_TIME b, REFERENCE_TIME* sum)
{
    constexpr REFERENCE_TIME most = std::numeric_limits<REFERENCE_TIME>::max();
    constexpr REFERENCE_TIME least = std::numeric_limits<REFERENCE_TIME>::min();
    if ((b > 0 && a > most - b) || (b < 0 && a < least - b))
        return false;
    *sum = a + b;
    return true;
}

} // namespace

SeekingBase::SeekingBase(const char* objectName, IUnknown* owner, HRESULT*, CritSection* lock)
    : UnknownBase(objectName, owner), duration(OpenEnd), startPosition(0), stopPosition(OpenEnd), rate(1.0),
      capabilities(AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
                   AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration),
      seekingLock(lock)
{
}

HRESULT SeekingBase::InnerQueryInterface(REFIID iid, void** out)
{
    if (out && IsEqualGUID(iid, IID_IMediaSeeking))
        return ReturnInterface(static_cast<IMediaSeeking*>(this), out);
    return UnknownBase::InnerQueryInterface(iid, out);
}

HRESULT SeekingBase::GetCapabilities(DWORD* capabilitiesOut)
{
    if (!capabilitiesOut)
        return E_POINTER;
    *capabilitiesOut = capabilities;
    return S_OK;
}

HRESULT SeekingBase::CheckCapabilities(DWORD* asked)
{
    if (!asked)
        return E_POINTER;
    return (*asked & ~capabilities) ? S_FALSE : S_OK;
}

// A null format cannot be media time; it is refused instead of read.
HRESULT SeekingBase::IsFormatSupported(const GUID* format)
{
    if (!format)
        return E_POINTER;
    return IsMediaTime(format) ? S_OK : S_FALSE;
}

HRESULT SeekingBase::QueryPreferredFormat(GUID* format) { return GetTimeFormat(format); }

HRESULT SeekingBase::GetTimeFormat(GUID* format)
{
    if (!format)
        return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT SeekingBase::IsUsingTimeFormat(const GUID* format) { return IsFormatSupported(format); }

HRESULT SeekingBase::SetTimeFormat(const GUID* format)
{
    if (!format)
        return E_POINTER;
    return IsMediaTime(format) ? S_OK : E_INVALIDARG;
}

HRESULT SeekingBase::GetDuration(LONGLONG* durationOut)
{
    if (!durationOut)
        return E_POINTER;
    *durationOut = duration.load();
    return S_OK;
}

HRESULT SeekingBase::GetStopPosition(LONGLONG* stopOut)
{
    if (!stopOut)
        return E_POINTER;
    *stopOut = stopPosition.load();
    return S_OK;
}

// A source stream does not know where playback is; the renderer does.
HRESULT SeekingBase::GetCurrentPosition(LONGLONG*) { return E_NOTIMPL; }

HRESULT SeekingBase::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                       const GUID* sourceFormat)
{
    if (!target)
        return E_POINTER;
    // A null format means the current one, which is media time.
    if ((targetFormat && !IsMediaTime(targetFormat)) || (sourceFormat && !IsMediaTime(sourceFormat)))
        return E_INVALIDARG;
    *target = source;
    return S_OK;
}

HRESULT SeekingBase::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags)
{
    const DWORD currentPositioning = currentFlags & PositioningBits;
    const DWORD stopPositioning = stopFlags & PositioningBits;
    if (stopFlags != 0) {
        if (!stop)
            return E_POINTER;
        if (stopFlags & ~PositioningBits)
            return E_INVALIDARG;
    }
    if (currentFlags != 0) {
        if (!current)
            return E_POINTER;
        // Key frame and return-time requests are accepted and ignored;
        // incremental positioning only has a meaning for the stop.
        if (currentPositioning != AM_SEEKING_AbsolutePositioning &&
            currentPositioning != AM_SEEKING_RelativePositioning)
            return E_INVALIDARG;
    }
    {
        AutoLock guard(seekingLock);
        REFERENCE_TIME newStart = startPosition.load();
        REFERENCE_TIME newStop = stopPosition.load();
        if (currentPositioning == AM_SEEKING_AbsolutePositioning)
            newStart = *current;
        else if (currentPositioning == AM_SEEKING_RelativePositioning && !AddPositions(newStart, *current, &newStart))
            return E_INVALIDARG;
        if (stopPositioning == AM_SEEKING_AbsolutePositioning)
            newStop = *stop;
        else if (stopPositioning == AM_SEEKING_RelativePositioning && !AddPositions(newStop, *stop, &newStop))
            return E_INVALIDARG;
        else if (stopPositioning == AM_SEEKING_IncrementalPositioning && !AddPositions(*stop, newStart, &newStop))
            return E_INVALIDARG;
        startPosition.store(newStart);
        stopPosition.store(newStop);
    }
    HRESULT result = S_OK;
    if (stopPositioning != 0)
        result = OnStopChanged();
    if (currentPositioning != 0) {
        HRESULT startResult = OnStartChanged();
        // A failed stop change is not hidden behind a successful start.
        if (FAILED(startResult) || SUCCEEDED(result))
            result = startResult;
    }
    return result;
}

HRESULT SeekingBase::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    if (current)
        *current = startPosition.load();
    if (stop)
        *stop = stopPosition.load();
    return S_OK;
}

HRESULT SeekingBase::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    if (earliest)
        *earliest = 0;
    if (latest)
        *latest = duration.load();
    return S_OK;
}

HRESULT SeekingBase::SetRate(double newRate)
{
    {
        AutoLock guard(seekingLock);
        rate.store(newRate);
    }
    return OnRateChanged();
}

HRESULT SeekingBase::GetRate(double* rateOut)
{
    if (!rateOut)
        return E_POINTER;
    *rateOut = rate.load();
    return S_OK;
}

HRESULT SeekingBase::GetPreroll(LONGLONG* preroll)
{
    if (!preroll)
        return E_POINTER;
    *preroll = 0;
    return S_OK;
}
