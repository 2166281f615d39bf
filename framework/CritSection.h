// A re-entrant lock and its scoped guard.
#pragma once

#include "platform/Platform.h"

class CritSection {
public:
    CritSection() { InitializeCriticalSection(&section); }
    ~CritSection() { DeleteCriticalSection(&section); }
    CritSection(const CritSection&) = delete;
    CritSection& operator=(const CritSection&) = delete;

    void Lock() { EnterCriticalSection(&section); }
    void Unlock() { LeaveCriticalSection(&section); }
    // Takes the lock only if no other thread holds it.
    bool TryLock() { return TryEnterCriticalSection(&section) != FALSE; }

private:
    CRITICAL_SECTION section;
};

// Holds a CritSection for the guard's scope, however the scope is left.
class AutoLock {
public:
    explicit AutoLock(CritSection* lock) : lock(lock) { lock->Lock(); }
    ~AutoLock() { lock->Unlock(); }
    AutoLock(const AutoLock&) = delete;
    AutoLock& operator=(const AutoLock&) = delete;

private:
    CritSection* lock;
};
