// A stream pin for the framework tests: it fills small synthetic samples that
// carry their position in the stream, answers its hooks as a test chooses and
// counts what its streaming thread does.
#pragma once

#include "framework/SourceStreamPin.h"

#include <atomic>
#include <vector>

class StreamTestPin : public SourceStreamPin {
public:
    // Positions advance by one per sample; each sample is 4 bytes holding its
    // position (least significant byte first) and spans
    // [position * SampleDuration, (position + 1) * SampleDuration).
    static const REFERENCE_TIME SampleDuration = 1000;

    StreamTestPin(SourceFilterBase* filter, LPCWSTR name, HRESULT* result = nullptr);
    ~StreamTestPin() override;

    HRESULT FillSample(IMediaSample* sample) override;
    HRESULT OnThreadBegin() override;
    HRESULT OnThreadEnd() override;
    HRESULT OnPlayBegin() override;
    HRESULT GetStreamType(MediaTypeRecord* type) override;
    HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
    HRESULT AcquireSample(IMediaSample** out, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) override;

    // Restarts streaming from a new position as a seeking pin does: flush
    // downstream, stop the loop, move the cursor, end the flush, run again.
    HRESULT Seek(LONG position);
    // The position the next filled sample gets.
    LONG NextPosition();

    // Set while no streaming thread exists.
    std::vector<HRESULT> fillAnswers; // by call; S_OK once they run out
    int segmentLength = -1;           // samples before S_FALSE, counted from each thread start
                                      // and each Seek; -1: never
    HRESULT beginAnswer = S_OK;
    MediaTypeRecord streamType;

    // Counted on the streaming thread.
    std::atomic<int> fills{0};
    std::atomic<int> begins{0};
    std::atomic<int> ends{0};
    std::atomic<int> playBegins{0};
    std::atomic<int> failedAcquires{0};

private:
    CritSection cursorLock; // taken after the state lock, never before
    LONG nextPosition = 0;
    int filledInSegment = 0;
};

// Decodes the position a StreamTestPin wrote into a sample's bytes; -1 when
// the bytes are not one of its samples.
LONG SamplePosition(const std::vector<BYTE>& bytes);
