// Filters, pins and a clock made for the framework tests: they record the
// calls the bases make on them and answer with what a test chooses.
#pragma once

#include "framework/OutputPinBase.h"
#include "framework/SourceFilterBase.h"

#include <string>
#include <vector>

// A media type with the given major type, subtype and format type and, when
// format bytes are given, a format block holding them.
MediaTypeRecord MakeType(const GUID& major, const GUID& sub, const GUID& format,
                         const std::vector<BYTE>& formatBytes = {});

class TestFilter : public SourceFilterBase {
public:
    // A new filter with one reference for the caller.
    static TestFilter* Create();

    const FilterSetupRecord* GetRegistrationData() override { return registration; }

    const FilterSetupRecord* registration = nullptr;
    // "Activate 1", "OnRun 2", ...: the pin calls of the state machine in order.
    std::vector<std::string> calls;

private:
    TestFilter();
};

// What the test pins answer: the types they offer and their verdict on types.
struct TypeBook {
    std::vector<MediaTypeRecord> offered;
    HRESULT checkAnswer = S_OK;
    int checks = 0;

    HRESULT Check(const AM_MEDIA_TYPE* type);
    HRESULT At(int index, MediaTypeRecord* type);
};

// A plain pin of either direction; it adds itself to its filter when built
// and removes itself when destroyed, as the stream pins do.
class TestPin : public PinBase {
public:
    TestPin(TestFilter* filter, LPCWSTR name, PIN_DIRECTION direction = PINDIR_OUTPUT);
    ~TestPin() override;

    HRESULT CheckType(const AM_MEDIA_TYPE* type) override { return types.Check(type); }
    HRESULT GetTypeAt(int index, MediaTypeRecord* type) override { return types.At(index, type); }
    HRESULT Activate() override;
    HRESULT Deactivate() override;
    HRESULT OnRun(REFERENCE_TIME start) override;
    HRESULT BreakPeer() override;

    void TryMyTypesFirst(bool first) { tryMyTypesFirst = first; }
    void BumpTypeVersion() { ++typeVersion; }

    TypeBook types;
    HRESULT activateAnswer = S_OK;
    HRESULT deactivateAnswer = S_OK;
    HRESULT onRunAnswer = S_OK;
    HRESULT breakAnswer = S_OK;
    int breaks = 0;
    REFERENCE_TIME runStart = -1;

private:
    void Log(const char* call);
    TestFilter* owner;
};

// An output pin whose SizeBuffers asks for bufferSize bytes in one buffer and
// answers, call by call, from sizeAnswers (S_OK once they run out).
class TestOutputPin : public OutputPinBase {
public:
    TestOutputPin(TestFilter* filter, LPCWSTR name);
    ~TestOutputPin() override;

    HRESULT CheckType(const AM_MEDIA_TYPE* type) override { return types.Check(type); }
    HRESULT GetTypeAt(int index, MediaTypeRecord* type) override { return types.At(index, type); }
    HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
    HRESULT CreateDefaultAllocator(IMemAllocator** out) override;

    void SetRunTimeError() { runTimeError = true; }

    TypeBook types;
    LONG bufferSize = 4096;
    std::vector<HRESULT> sizeAnswers;
    std::vector<ALLOCATOR_PROPERTIES> sizeRequests;  // the record each SizeBuffers call received
    std::vector<IMemAllocator*> sizedAllocators;     // uncounted, for identity checks only
    HRESULT defaultAllocatorAnswer = S_OK;           // a failure replaces the creation

private:
    TestFilter* owner;
};

// A reference clock that reads a fixed time and counts its references.
class FakeClock : public IReferenceClock {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++references); }
    STDMETHODIMP_(ULONG) Release() override { return ULONG(--references); }
    STDMETHODIMP GetTime(REFERENCE_TIME* out) override;
    STDMETHODIMP AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR*) override { return E_NOTIMPL; }
    STDMETHODIMP AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD_PTR) override { return E_NOTIMPL; }

    LONG references = 1;
    REFERENCE_TIME now = 0;
    HRESULT answer = S_OK;
};
