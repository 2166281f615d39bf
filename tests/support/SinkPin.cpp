#include "tests/support/SinkPin.h"

#include "tests/support/SinkFilter.h"
#include "tests/support/TypeListEnumerator.h"

#include <chrono>
#include <cwchar>

namespace {

const WCHAR SinkPinName[] = L"In";

LPWSTR TaskCopy(const WCHAR* text)
{
    size_t length = std::wcslen(text) + 1;
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(length * sizeof(WCHAR)));
    if (copy)
        std::wmemcpy(copy, text, length);
    return copy;
}

template <typename T>
void ReleaseAndClear(T*& pointer)
{
    T* old = pointer;
    pointer = nullptr;
    if (old)
        old->Release();
}

} // namespace

SinkPin::SinkPin(SinkFilter* filter) : UnknownBase("SinkPin", nullptr), filter(filter) {}

SinkPin::~SinkPin()
{
    ReleaseAndClear(peer);
    ReleaseAndClear(notifiedAllocator);
    ReleaseAndClear(ownAllocator);
}

HRESULT SinkPin::InnerQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IPin))
        return ReturnInterface(static_cast<IPin*>(this), out);
    if (IsEqualGUID(iid, IID_IMemInputPin))
        return ReturnInterface(static_cast<IMemInputPin*>(this), out);
    return UnknownBase::InnerQueryInterface(iid, out);
}

// Like the framework's pins, this one lives as long as its filter.
ULONG SinkPin::InnerAddRef() { return static_cast<IBaseFilter*>(filter)->AddRef(); }
ULONG SinkPin::InnerRelease() { return static_cast<IBaseFilter*>(filter)->Release(); }

// ---- Configuration ----------------------------------------------------------

void SinkPin::AcceptAll()
{
    std::lock_guard<std::mutex> lock(mutex);
    acceptAll = true;
    rules.clear();
}

void SinkPin::AcceptOnly(const AM_MEDIA_TYPE& pattern)
{
    std::lock_guard<std::mutex> lock(mutex);
    acceptAll = false;
    rules.push_back({MediaTypeRecord(pattern), S_OK});
}

void SinkPin::AnswerForType(const AM_MEDIA_TYPE& pattern, HRESULT answer)
{
    std::lock_guard<std::mutex> lock(mutex);
    rules.push_back({MediaTypeRecord(pattern), answer});
}

void SinkPin::OfferTypes(const std::vector<MediaTypeRecord>& types)
{
    std::lock_guard<std::mutex> lock(mutex);
    offeredTypes = types;
    enumerationAnswer = S_OK;
}

void SinkPin::FailTypeEnumeration(HRESULT answer)
{
    std::lock_guard<std::mutex> lock(mutex);
    enumerationAnswer = answer;
}

void SinkPin::OfferOwnAllocator(bool offer)
{
    std::lock_guard<std::mutex> lock(mutex);
    offerAllocator = offer;
}

void SinkPin::SetAllocatorRequirements(const ALLOCATOR_PROPERTIES& wanted, HRESULT answer)
{
    std::lock_guard<std::mutex> lock(mutex);
    requirements = wanted;
    requirementsAnswer = answer;
}

void SinkPin::SetAnswer(SinkCall call, HRESULT answer)
{
    std::lock_guard<std::mutex> lock(mutex);
    answers[int(call)] = answer;
}

void SinkPin::HoldReceive(bool held)
{
    std::lock_guard<std::mutex> lock(mutex);
    hold = held;
    changed.notify_all();
}

void SinkPin::CountOnly(bool only) { countOnly.store(only); }

SampleTotals SinkPin::Totals()
{
    std::lock_guard<std::mutex> lock(mutex);
    return totals;
}

void SinkPin::LimitSamples(size_t count)
{
    std::lock_guard<std::mutex> lock(mutex);
    sampleLimit = count;
}

HRESULT SinkPin::AnswerFor(const AM_MEDIA_TYPE& type)
{
    for (const TypeRule& rule : rules)
        if (TypeMatchesPattern(type, rule.pattern))
            return rule.answer;
    return acceptAll ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT SinkPin::Forced(SinkCall call)
{
    ++calls[int(call)];
    return answers[int(call)];
}

HRESULT SinkPin::MakeOwnAllocator()
{
    if (ownAllocator)
        return S_OK;
    return CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                            reinterpret_cast<void**>(&ownAllocator));
}

// ---- Observations -----------------------------------------------------------

std::vector<ReceivedSample> SinkPin::Samples()
{
    std::lock_guard<std::mutex> lock(mutex);
    return samples;
}

size_t SinkPin::SampleCount()
{
    std::lock_guard<std::mutex> lock(mutex);
    return samples.size();
}

int SinkPin::EndOfStreamCount()
{
    std::lock_guard<std::mutex> lock(mutex);
    return endOfStreams;
}

DWORD SinkPin::DeliveringThread()
{
    std::lock_guard<std::mutex> lock(mutex);
    return deliveringThread;
}

int SinkPin::BeginFlushCount()
{
    std::lock_guard<std::mutex> lock(mutex);
    return beginFlushes;
}

int SinkPin::EndFlushCount()
{
    std::lock_guard<std::mutex> lock(mutex);
    return endFlushes;
}

std::vector<ReceivedSegment> SinkPin::Segments()
{
    std::lock_guard<std::mutex> lock(mutex);
    return segments;
}

std::vector<MediaTypeRecord> SinkPin::ConnectionAttempts()
{
    std::lock_guard<std::mutex> lock(mutex);
    return attempts;
}

int SinkPin::CallCount(SinkCall call)
{
    std::lock_guard<std::mutex> lock(mutex);
    return calls[int(call)];
}

IMemAllocator* SinkPin::NotifiedAllocator()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (notifiedAllocator)
        notifiedAllocator->AddRef();
    return notifiedAllocator;
}

bool SinkPin::NotifiedReadOnly()
{
    std::lock_guard<std::mutex> lock(mutex);
    return notifiedReadOnly;
}

IMemAllocator* SinkPin::OwnAllocator()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (FAILED(MakeOwnAllocator()))
        return nullptr;
    ownAllocator->AddRef();
    return ownAllocator;
}

bool SinkPin::IsConnected()
{
    std::lock_guard<std::mutex> lock(mutex);
    return peer != nullptr;
}

MediaTypeRecord SinkPin::ConnectionType()
{
    std::lock_guard<std::mutex> lock(mutex);
    return connectionType;
}

void SinkPin::ClearRecords()
{
    std::lock_guard<std::mutex> lock(mutex);
    samples.clear();
    totals = SampleTotals();
    segments.clear();
    attempts.clear();
    endOfStreams = beginFlushes = endFlushes = 0;
    for (int& count : calls)
        count = 0;
}

bool SinkPin::WaitForEndOfStream(int count, DWORD milliseconds)
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return endOfStreams >= count; });
}

bool SinkPin::WaitForSamples(size_t count, DWORD milliseconds)
{
    std::unique_lock<std::mutex> lock(mutex);
    ++sampleWaiters;
    const bool arrived =
        changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return totals.samples >= count; });
    --sampleWaiters;
    return arrived;
}

bool SinkPin::WaitForEndOfStreamOrSamples(size_t count, DWORD milliseconds)
{
    std::unique_lock<std::mutex> lock(mutex);
    ++sampleWaiters;
    const bool arrived = changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                          [&] { return endOfStreams > 0 || totals.samples >= count; });
    --sampleWaiters;
    return arrived;
}

std::vector<ReceivedSample> SinkPin::TakeSamples(DWORD milliseconds, bool* ended)
{
    std::unique_lock<std::mutex> lock(mutex);
    // Without a wait when none is asked for: even an expired timed wait parks
    // the thread.
    if (milliseconds > 0) {
        ++sampleWaiters;
        changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                         [&] { return !samples.empty() || endOfStreams > 0; });
        --sampleWaiters;
    }
    // End of stream comes from the thread that delivered the last sample,
    // after it: seen here, every sample is in the list.
    *ended = endOfStreams > 0;
    std::vector<ReceivedSample> taken;
    taken.swap(samples);
    return taken;
}

// ---- IPin ---------------------------------------------------------------------

// The sink only ever receives connections.
HRESULT SinkPin::Connect(IPin*, const AM_MEDIA_TYPE*) { return E_NOTIMPL; }

HRESULT SinkPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type)
{
    if (!connector || !type)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex);
    HRESULT forced = Forced(SinkCall::ReceiveConnection);
    attempts.emplace_back(*type);
    if (FAILED(forced))
        return forced;
    if (peer)
        return VFW_E_ALREADY_CONNECTED;
    HRESULT answer = AnswerFor(*type);
    if (answer != S_OK)
        return FAILED(answer) ? answer : VFW_E_TYPE_NOT_ACCEPTED;
    connector->AddRef();
    peer = connector;
    connectionType.Assign(*type);
    changed.notify_all();
    return S_OK;
}

HRESULT SinkPin::Disconnect()
{
    IPin* oldPeer = nullptr;
    IMemAllocator* oldAllocator = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!peer)
            return S_FALSE;
        oldPeer = peer;
        peer = nullptr;
        oldAllocator = notifiedAllocator;
        notifiedAllocator = nullptr;
        connectionType.Clear();
    }
    // Released outside the lock: the peer's filter may go with its last reference.
    oldPeer->Release();
    if (oldAllocator)
        oldAllocator->Release();
    return S_OK;
}

HRESULT SinkPin::ConnectedTo(IPin** out)
{
    if (!out)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex);
    *out = peer;
    if (!peer)
        return VFW_E_NOT_CONNECTED;
    peer->AddRef();
    return S_OK;
}

HRESULT SinkPin::ConnectionMediaType(AM_MEDIA_TYPE* out)
{
    if (!out)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex);
    if (!peer) {
        InitEmptyType(out);
        return VFW_E_NOT_CONNECTED;
    }
    return CloneTypeFields(out, &connectionType);
}

HRESULT SinkPin::QueryPinInfo(PIN_INFO* out)
{
    if (!out)
        return E_POINTER;
    out->pFilter = filter;
    filter->AddRef();
    out->dir = PINDIR_INPUT;
    std::wmemcpy(out->achName, SinkPinName, sizeof SinkPinName / sizeof SinkPinName[0]);
    return S_OK;
}

HRESULT SinkPin::QueryDirection(PIN_DIRECTION* out)
{
    if (!out)
        return E_POINTER;
    *out = PINDIR_INPUT;
    return S_OK;
}

HRESULT SinkPin::QueryId(LPWSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = TaskCopy(SinkPinName);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT SinkPin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex);
    return AnswerFor(*type) == S_OK ? S_OK : S_FALSE;
}

HRESULT SinkPin::EnumMediaTypes(IEnumMediaTypes** out)
{
    if (!out)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex);
    *out = nullptr;
    if (FAILED(enumerationAnswer))
        return enumerationAnswer;
    *out = TypeListEnumerator::Create(offeredTypes);
    return S_OK;
}

HRESULT SinkPin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT SinkPin::EndOfStream()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        deliveringThread = GetCurrentThreadId();
        ++endOfStreams;
        changed.notify_all();
    }
    if (queryUpstream.load()) {
        Sleep(queryDelayMs.load());
        QueryUpstream();
    }
    return S_OK;
}

void SinkPin::QueryUpstreamOnDelivery(bool query, DWORD delayMs)
{
    queryDelayMs.store(delayMs);
    queryUpstream.store(query);
}

void SinkPin::QueryUpstream()
{
    IPin* upstream = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        upstream = peer;
        if (upstream)
            upstream->AddRef();
    }
    if (!upstream)
        return;
    IMediaSeeking* seeking = nullptr;
    if (SUCCEEDED(upstream->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)))) {
        LONGLONG value = 0;
        double rate = 0;
        seeking->GetStopPosition(&value);
        seeking->GetDuration(&value);
        seeking->GetRate(&rate);
        seeking->GetAvailable(&value, &value);
        seeking->GetPositions(&value, &value);
        seeking->Release();
    }
    AM_MEDIA_TYPE type;
    if (SUCCEEDED(upstream->ConnectionMediaType(&type))) {
        upstream->QueryAccept(&type);
        ReleaseTypeFields(&type);
    }
    LPWSTR id = nullptr;
    if (SUCCEEDED(upstream->QueryId(&id)))
        CoTaskMemFree(id);
    PIN_INFO info;
    if (SUCCEEDED(upstream->QueryPinInfo(&info)) && info.pFilter)
        info.pFilter->Release();
    IEnumMediaTypes* types = nullptr;
    if (SUCCEEDED(upstream->EnumMediaTypes(&types)) && types) {
        AM_MEDIA_TYPE* listed = nullptr;
        ULONG fetched = 0;
        if (types->Next(1, &listed, &fetched) == S_OK && listed)
            DestroyTypeRecord(listed);
        types->Release();
    }
    IQualityControl* quality = nullptr;
    if (SUCCEEDED(upstream->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&quality)))) {
        quality->Notify(nullptr, Quality{Famine, 1000, 0, 0});
        quality->Release();
    }
    upstream->Release();
}

HRESULT SinkPin::BeginFlush()
{
    std::lock_guard<std::mutex> lock(mutex);
    ++beginFlushes;
    flushing = true;
    changed.notify_all();
    return S_OK;
}

HRESULT SinkPin::EndFlush()
{
    std::lock_guard<std::mutex> lock(mutex);
    ++endFlushes;
    flushing = false;
    changed.notify_all();
    return S_OK;
}

HRESULT SinkPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    std::lock_guard<std::mutex> lock(mutex);
    segments.push_back({start, stop, rate, totals.samples});
    changed.notify_all();
    return S_OK;
}

// ---- IMemInputPin -------------------------------------------------------------

HRESULT SinkPin::GetAllocator(IMemAllocator** out)
{
    if (!out)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex);
    *out = nullptr;
    HRESULT forced = Forced(SinkCall::GetAllocator);
    if (FAILED(forced))
        return forced;
    if (!offerAllocator)
        return VFW_E_NO_ALLOCATOR;
    HRESULT made = MakeOwnAllocator();
    if (FAILED(made))
        return made;
    ownAllocator->AddRef();
    *out = ownAllocator;
    return S_OK;
}

HRESULT SinkPin::NotifyAllocator(IMemAllocator* allocator, WINBOOL readOnly)
{
    if (!allocator)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex);
    HRESULT forced = Forced(SinkCall::NotifyAllocator);
    if (FAILED(forced))
        return forced;
    allocator->AddRef();
    if (notifiedAllocator)
        notifiedAllocator->Release();
    notifiedAllocator = allocator;
    notifiedReadOnly = readOnly != FALSE;
    return S_OK;
}

HRESULT SinkPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* out)
{
    if (!out)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex);
    if (SUCCEEDED(requirementsAnswer))
        *out = requirements;
    return requirementsAnswer;
}

ReceivedSample SinkPin::Record(IMediaSample* sample, LONG length, bool copyBytes)
{
    ReceivedSample record{};
    BYTE* data = nullptr;
    if (copyBytes && SUCCEEDED(sample->GetPointer(&data)) && data && length > 0)
        record.bytes.assign(data, data + length);
    record.timeResult = sample->GetTime(&record.start, &record.stop);
    record.syncPoint = sample->IsSyncPoint() == S_OK;
    record.discontinuity = sample->IsDiscontinuity() == S_OK;
    record.preroll = sample->IsPreroll() == S_OK;
    return record;
}

HRESULT SinkPin::Receive(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    if (queryUpstream.load())
        QueryUpstream();
    // Read once for the record and the totals, before the lock is taken;
    // counting needs no copy of the bytes.
    const bool recorded = !countOnly.load();
    const LONG length = sample->GetActualDataLength();
    ReceivedSample record = Record(sample, length, recorded);
    std::unique_lock<std::mutex> lock(mutex);
    deliveringThread = GetCurrentThreadId();
    HRESULT answer = Forced(SinkCall::Receive);
    changed.wait(lock, [&] { return !hold || flushing; });
    // A sample that meets a flush is dropped, as a renderer drops it.
    if (flushing || totals.samples >= sampleLimit)
        return S_FALSE;
    ++totals.samples;
    totals.bytes += length > 0 ? static_cast<unsigned long long>(length) : 0;
    if (SUCCEEDED(record.timeResult))
        totals.lastStop = record.stop;
    if (recorded)
        samples.push_back(std::move(record));
    // Only a thread waiting for samples cares; waking the others (the end of
    // stream waiters) for every sample would cost a switch per sample.
    if (sampleWaiters > 0)
        changed.notify_all();
    return totals.samples >= sampleLimit ? S_FALSE : answer;
}

HRESULT SinkPin::ReceiveMultiple(IMediaSample** list, LONG count, LONG* processed)
{
    if (!list || !processed)
        return E_POINTER;
    *processed = 0;
    HRESULT result = S_OK;
    for (LONG i = 0; i < count && result == S_OK; ++i) {
        result = Receive(list[i]);
        if (SUCCEEDED(result))
            ++*processed;
    }
    return result;
}

HRESULT SinkPin::ReceiveCanBlock() { return S_OK; }
