// The media sample of the layer's memory allocator: one buffer of the
// allocator's memory with the sample values that travel with it.
#pragma once

#include "DShowInterfaces.h"

#include <atomic>

class MemoryAllocator;

class MediaSample : public IMediaSample {
public:
    // Takes over block (from posix_memalign); the data starts prefix bytes in.
    MediaSample(MemoryAllocator* allocator, BYTE* block, LONG prefix, LONG size);
    virtual ~MediaSample();
    MediaSample(const MediaSample&) = delete;
    MediaSample& operator=(const MediaSample&) = delete;

    // The allocator hands the sample out with one reference for the taker.
    void HandOut() { references.store(1); }
    // Back in the allocator: the values of the last user are forgotten.
    void ClearProperties();

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    // The last release returns the sample to its allocator.
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetPointer(BYTE** buffer) override;
    STDMETHODIMP_(LONG) GetSize() override;
    STDMETHODIMP GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    STDMETHODIMP SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    STDMETHODIMP IsSyncPoint() override;
    STDMETHODIMP SetSyncPoint(WINBOOL isSyncPoint) override;
    STDMETHODIMP IsPreroll() override;
    STDMETHODIMP SetPreroll(WINBOOL isPreroll) override;
    STDMETHODIMP_(LONG) GetActualDataLength() override;
    STDMETHODIMP SetActualDataLength(LONG length) override;
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** type) override;
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP IsDiscontinuity() override;
    STDMETHODIMP SetDiscontinuity(WINBOOL discontinuity) override;
    STDMETHODIMP GetMediaTime(LONGLONG* start, LONGLONG* end) override;
    STDMETHODIMP SetMediaTime(LONGLONG* start, LONGLONG* end) override;

private:
    MemoryAllocator* allocator;
    BYTE* block;
    BYTE* buffer;
    LONG size;
    // The system sets the length to the whole buffer once and keeps whatever
    // the last user set when the sample comes round again.
    LONG actualLength;
    bool timeValid = false;
    bool stopValid = false;
    REFERENCE_TIME startTime = 0;
    REFERENCE_TIME stopTime = 0;
    bool mediaTimeValid = false;
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    bool syncPoint = false;
    bool discontinuity = false;
    bool preroll = false;
    AM_MEDIA_TYPE* mediaType = nullptr;
    std::atomic<ULONG> references{0};
};
