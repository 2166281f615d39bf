// The layer's standard memory allocator. Each buffer is an allocation of its
// own, so that a write past a sample's end is caught by the sanitizers rather
// than landing in the next sample.
#include "MemoryAllocator.h"

#include "MediaSample.h"
#include "PlatformClasses.h"
#include "WinApi.h"

#include <algorithm>
#include <cstdlib>

namespace {

// More than a 32-bit process could ever map for its buffers; a request beyond
// it fails as out of memory instead of exhausting the machine.
constexpr uint64_t maxCommittedBytes = uint64_t(1) << 30;
// Counted per buffer against that limit: the sample object and its bookkeeping.
constexpr uint64_t sampleOverhead = 256;

bool IsPowerOfTwo(LONG value)
{
    return value > 0 && (value & (value - 1)) == 0;
}

} // namespace

MemoryAllocator::~MemoryAllocator()
{
    // Outstanding samples hold a reference on the allocator, so all are back.
    FreeSamples();
}

void* MemoryAllocator::Answer(REFIID iid)
{
    if (iid == IID_IUnknown || iid == IID_IMemAllocator)
        return static_cast<IMemAllocator*>(this);
    return nullptr;
}

HRESULT MemoryAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    if (!request || !actual)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(lock);
    if (committed)
        return VFW_E_ALREADY_COMMITTED;
    if (!samples.empty())
        return VFW_E_BUFFERS_OUTSTANDING;
    if (!IsPowerOfTwo(request->cbAlign))
        return VFW_E_BADALIGN;
    // Granted as asked: the system neither rounds the size nor the count.
    properties = *request;
    *actual = properties;
    return S_OK;
}

HRESULT MemoryAllocator::GetProperties(ALLOCATOR_PROPERTIES* out)
{
    if (!out)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(lock);
    *out = properties;
    return S_OK;
}

HRESULT MemoryAllocator::Commit()
{
    std::lock_guard<std::mutex> guard(lock);
    if (committed)
        return S_OK;
    // Decommitted with samples still out: the same buffers serve again.
    if (!samples.empty()) {
        committed = true;
        return S_OK;
    }
    HRESULT result = CreateSamples();
    if (SUCCEEDED(result))
        committed = true;
    return result;
}

HRESULT MemoryAllocator::CreateSamples()
{
    const ALLOCATOR_PROPERTIES& p = properties;
    if (!IsPowerOfTwo(p.cbAlign))
        return VFW_E_BADALIGN;
    if (p.cBuffers == 0 || p.cbBuffer == 0)
        return VFW_E_SIZENOTSET;
    if (p.cBuffers < 0 || p.cbBuffer < 0 || p.cbPrefix < 0)
        return E_INVALIDARG;
    const uint64_t blockSize = uint64_t(p.cbPrefix) + uint64_t(p.cbBuffer);
    if (uint64_t(p.cBuffers) * (blockSize + sampleOverhead) > maxCommittedBytes)
        return E_OUTOFMEMORY;
    // The prefix starts on the alignment boundary; the data follows it.
    const size_t alignment = std::max<size_t>(size_t(p.cbAlign), sizeof(void*));
    try {
        samples.reserve(size_t(p.cBuffers));
        freeSamples.reserve(size_t(p.cBuffers));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    for (LONG i = 0; i < p.cBuffers; ++i) {
        void* block = nullptr;
        if (posix_memalign(&block, alignment, size_t(blockSize)) != 0) {
            FreeSamples();
            return E_OUTOFMEMORY;
        }
        auto* sample = new (std::nothrow) MediaSample(this, static_cast<BYTE*>(block), p.cbPrefix, p.cbBuffer);
        if (!sample) {
            std::free(block);
            FreeSamples();
            return E_OUTOFMEMORY;
        }
        samples.push_back(sample);
        freeSamples.push_back(sample);
    }
    return S_OK;
}

void MemoryAllocator::FreeSamples()
{
    for (MediaSample* sample : samples)
        delete sample;
    samples.clear();
    freeSamples.clear();
}

HRESULT MemoryAllocator::Decommit()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!committed)
            return S_OK;
        committed = false;
        ++decommitCount;
        // Buffers still out are freed when the last of them comes back.
        if (AllSamplesBack())
            FreeSamples();
    }
    sampleReturned.notify_all();
    return S_OK;
}

HRESULT MemoryAllocator::GetBuffer(IMediaSample** out, REFERENCE_TIME*, REFERENCE_TIME*, DWORD flags)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    std::unique_lock<std::mutex> guard(lock);
    if (!committed)
        return VFW_E_NOT_COMMITTED;
    const unsigned decommitsBefore = decommitCount;
    while (freeSamples.empty()) {
        if (flags & AM_GBF_NOWAIT)
            return VFW_E_TIMEOUT;
        sampleReturned.wait(guard);
        if (decommitCount != decommitsBefore)
            return VFW_E_NOT_COMMITTED;
    }
    MediaSample* sample = freeSamples.back();
    freeSamples.pop_back();
    sample->HandOut();
    // A sample that is out keeps its allocator alive.
    AddRef();
    *out = sample;
    return S_OK;
}

HRESULT MemoryAllocator::ReleaseBuffer(IMediaSample* released)
{
    if (!released)
        return E_POINTER;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto owned = std::find_if(samples.begin(), samples.end(),
                                  [released](MediaSample* s) { return static_cast<IMediaSample*>(s) == released; });
        if (owned == samples.end() || std::find(freeSamples.begin(), freeSamples.end(), *owned) != freeSamples.end())
            return E_INVALIDARG;
        MediaSample* sample = *owned;
        sample->ClearProperties();
        freeSamples.push_back(sample);
        if (!committed && AllSamplesBack())
            FreeSamples();
    }
    sampleReturned.notify_all();
    // The reference that the sample held while it was out; this may be the last.
    Release();
    return S_OK;
}

HRESULT CreateMemoryAllocator(IUnknown* outer, REFIID iid, void** out)
{
    return CreatePlatformObject<MemoryAllocator>(outer, iid, out);
}
