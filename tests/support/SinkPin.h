// The input pin of the test sink: it accepts the media types it is told to,
// offers or withholds an allocator of its own, and records everything that
// arrives, from whatever thread it arrives on.
#pragma once

#include "framework/MediaTypeRecord.h"
#include "framework/UnknownBase.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class SinkFilter;

struct ReceivedSample {
    std::vector<BYTE> bytes;
    HRESULT timeResult; // GetTime's answer: S_OK, VFW_S_NO_STOP_TIME or a failure
    REFERENCE_TIME start;
    REFERENCE_TIME stop;
    bool syncPoint;
    bool discontinuity;
    bool preroll;
};

struct ReceivedSegment {
    REFERENCE_TIME start;
    REFERENCE_TIME stop;
    double rate;
    size_t samplesBefore; // samples received before it: the next one is its first
};

// What arrived since the records were last cleared, kept whether or not the
// samples themselves are.
struct SampleTotals {
    size_t samples = 0;
    unsigned long long bytes = 0;
    REFERENCE_TIME lastStop = 0; // of the last sample that carried times
};

// The calls whose answer a test can choose.
enum class SinkCall { Receive, ReceiveConnection, NotifyAllocator, GetAllocator, COUNT };

class SinkPin : public UnknownBase, public IPin, public IMemInputPin {
public:
    explicit SinkPin(SinkFilter* filter);
    ~SinkPin() override;

    DECLARE_OWNER_UNKNOWN
    HRESULT InnerQueryInterface(REFIID iid, void** out) override;
    ULONG InnerAddRef() override;
    ULONG InnerRelease() override;

    IPin* AsPin() { return this; }

    // ---- What it accepts and offers ----
    // Every type is accepted unless rules say otherwise; the first rule whose
    // pattern (GUID_NULL fields match anything) fits a type gives its answer.
    void AcceptAll();
    void AcceptOnly(const AM_MEDIA_TYPE& pattern);
    void AnswerForType(const AM_MEDIA_TYPE& pattern, HRESULT answer);
    // The types its EnumMediaTypes lists (none by default), or the failure it
    // answers instead.
    void OfferTypes(const std::vector<MediaTypeRecord>& types);
    void FailTypeEnumeration(HRESULT answer);
    // Whether GetAllocator hands out an allocator of its own (made through
    // CoCreateInstance) or answers VFW_E_NO_ALLOCATOR.
    void OfferOwnAllocator(bool offer);
    void SetAllocatorRequirements(const ALLOCATOR_PROPERTIES& requirements, HRESULT answer = S_OK);
    // A code forced on one call, answered after the call is recorded; S_OK
    // gives the normal behaviour back.
    void SetAnswer(SinkCall call, HRESULT answer);
    // While held, Receive waits until released or flushed.
    void HoldReceive(bool hold);
    // Only counts what arrives, keeping no record of each sample: for a host
    // whose memory must not grow with the movie.
    void CountOnly(bool countOnly);
    // Receive keeps at most count samples: the one that reaches the count is
    // answered S_FALSE, as a renderer that wants no more answers, and any
    // later one is dropped with the same answer.
    void LimitSamples(size_t count);
    // As a renderer does: from inside Receive and EndOfStream, on the caller's
    // thread, asks the connected pin what a renderer asks (its stop position,
    // duration and rate through IMediaSeeking; its connection type, id, pin
    // information and types through IPin; a quality notice). End of stream is
    // counted and announced first, and the questions follow after delayMs, so
    // that a test reacting to the end of the stream meets them under way.
    void QueryUpstreamOnDelivery(bool query, DWORD delayMs = 0);

    // ---- What it saw ----
    std::vector<ReceivedSample> Samples();
    size_t SampleCount();
    SampleTotals Totals();
    int EndOfStreamCount();
    // The thread that last delivered a sample or the end of stream (0 before
    // either): the streaming thread of the pin connected to this one.
    DWORD DeliveringThread();
    int BeginFlushCount();
    int EndFlushCount();
    std::vector<ReceivedSegment> Segments();
    std::vector<MediaTypeRecord> ConnectionAttempts();
    int CallCount(SinkCall call);
    // The allocator last notified (a counted reference for the caller), or null.
    IMemAllocator* NotifiedAllocator();
    bool NotifiedReadOnly();
    // The allocator it offers, made on first use (a counted reference), or null.
    IMemAllocator* OwnAllocator();
    bool IsConnected();
    MediaTypeRecord ConnectionType();
    void ClearRecords();

    bool WaitForEndOfStream(int count, DWORD milliseconds);
    // Hands over the samples received so far and forgets them, waiting up to
    // milliseconds for one to arrive or for the end of the stream; ended
    // tells whether end of stream had come before them, so that no sample
    // can still follow. For hosts that write a stream out while it runs.
    std::vector<ReceivedSample> TakeSamples(DWORD milliseconds, bool* ended);
    // Waits until count samples have arrived since the records were cleared.
    bool WaitForSamples(size_t count, DWORD milliseconds);
    // Waits until the end of the stream or until count samples have arrived,
    // whichever comes first.
    bool WaitForEndOfStreamOrSamples(size_t count, DWORD milliseconds);

    // IPin
    STDMETHODIMP Connect(IPin* peer, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP ReceiveConnection(IPin* peer, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** out) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* out) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* out) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* out) override;
    STDMETHODIMP QueryId(LPWSTR* out) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** out) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** out) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, WINBOOL readOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* out) override;
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) override;
    STDMETHODIMP ReceiveCanBlock() override;

private:
    struct TypeRule {
        MediaTypeRecord pattern;
        HRESULT answer;
    };

    HRESULT AnswerFor(const AM_MEDIA_TYPE& type); // called with the mutex held
    HRESULT Forced(SinkCall call);                // counts the call; mutex held
    HRESULT MakeOwnAllocator();                   // mutex held
    void QueryUpstream();                         // mutex not held
    // Everything but the bytes, which are copied only when copyBytes is set.
    static ReceivedSample Record(IMediaSample* sample, LONG length, bool copyBytes);

    SinkFilter* filter;
    std::mutex mutex;
    std::condition_variable changed;

    bool acceptAll = true;
    std::vector<TypeRule> rules;
    std::vector<MediaTypeRecord> offeredTypes;
    HRESULT enumerationAnswer = S_OK;
    bool offerAllocator = false;
    ALLOCATOR_PROPERTIES requirements = {0, 0, 0, 0};
    HRESULT requirementsAnswer = E_NOTIMPL;
    HRESULT answers[int(SinkCall::COUNT)] = {};
    int calls[int(SinkCall::COUNT)] = {};
    bool hold = false;
    std::atomic<bool> countOnly{false}; // read before the lock is taken
    std::atomic<bool> queryUpstream{false};
    std::atomic<DWORD> queryDelayMs{0};
    SampleTotals totals;
    int sampleWaiters = 0; // threads in WaitForSamples or TakeSamples
    bool flushing = false;
    size_t sampleLimit = SIZE_MAX; // counted against totals.samples

    IPin* peer = nullptr;
    MediaTypeRecord connectionType;
    IMemAllocator* ownAllocator = nullptr;
    IMemAllocator* notifiedAllocator = nullptr;
    bool notifiedReadOnly = false;

    std::vector<ReceivedSample> samples;
    std::vector<ReceivedSegment> segments;
    std::vector<MediaTypeRecord> attempts;
    int endOfStreams = 0;
    DWORD deliveringThread = 0;
    int beginFlushes = 0;
    int endFlushes = 0;
};
