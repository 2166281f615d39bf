// The layer's system reference clock.
#include "SystemClock.h"

#include "PlatformClasses.h"

#include <ctime>

void* SystemClock::Answer(REFIID iid)
{
    if (iid == IID_IUnknown || iid == IID_IReferenceClock)
        return static_cast<IReferenceClock*>(this);
    return nullptr;
}

HRESULT SystemClock::GetTime(REFERENCE_TIME* time)
{
    if (!time)
        return E_POINTER;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const REFERENCE_TIME reading = REFERENCE_TIME(now.tv_sec) * 10000000 + now.tv_nsec / 100;
    std::lock_guard<std::mutex> guard(lock);
    // Never behind an earlier answer, whichever thread asked.
    if (reading <= lastTime) {
        *time = lastTime;
        return S_FALSE;
    }
    lastTime = reading;
    *time = reading;
    return S_OK;
}

HRESULT SystemClock::AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR* cookie)
{
    if (cookie)
        *cookie = 0;
    return E_NOTIMPL;
}

HRESULT SystemClock::AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR* cookie)
{
    if (cookie)
        *cookie = 0;
    return E_NOTIMPL;
}

HRESULT SystemClock::Unadvise(DWORD_PTR)
{
    return S_FALSE;
}

HRESULT CreateSystemClock(IUnknown* outer, REFIID iid, void** out)
{
    return CreatePlatformObject<SystemClock>(outer, iid, out);
}
