// The platform's system reference clock (CLSID_SystemClock) for the Linux
// build: the monotonic time of the machine in 100-ns units.
#pragma once

#include "ComObject.h"

#include <mutex>

class SystemClock : public ComObject<IReferenceClock> {
public:
    // S_FALSE, as on the platform, when the time has not moved since the last call.
    STDMETHODIMP GetTime(REFERENCE_TIME* time) override;
    // Timed notifications are not offered: the system never asks for them.
    STDMETHODIMP AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event,
                            DWORD_PTR* cookie) override;
    STDMETHODIMP AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE semaphore,
                                DWORD_PTR* cookie) override;
    STDMETHODIMP Unadvise(DWORD_PTR cookie) override;

protected:
    void* Answer(REFIID iid) override;

private:
    std::mutex lock;
    REFERENCE_TIME lastTime = 0;
};
