// The platform's standard memory allocator (CLSID_MemoryAllocator) for the
// Linux build: fixed-size buffers handed out as media samples.
#pragma once

#include "ComObject.h"

#include <condition_variable>
#include <mutex>
#include <vector>

class MediaSample;

class MemoryAllocator : public ComObject<IMemAllocator> {
public:
    MemoryAllocator() = default;
    ~MemoryAllocator() override;

    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* properties) override;
    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;
    STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) override;
    // Where a sample's last Release brings it back.
    STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;

protected:
    void* Answer(REFIID iid) override;

private:
    HRESULT CreateSamples();
    void FreeSamples();
    bool AllSamplesBack() const { return freeSamples.size() == samples.size(); }

    std::mutex lock;
    std::condition_variable sampleReturned;
    ALLOCATOR_PROPERTIES properties{};
    bool committed = false;
    // Counts the decommits, so that a waiting GetBuffer notices one even when
    // the allocator has been committed again before it woke up.
    unsigned decommitCount = 0;
    // Every sample of the committed buffers, and those not handed out.
    std::vector<MediaSample*> samples;
    std::vector<MediaSample*> freeSamples;
};
