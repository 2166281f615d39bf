// An output pin driven by a streaming thread of its own. Once the filter is
// paused, the thread takes an empty sample from the allocator, has the
// deriving pin fill it and delivers it downstream, until end of stream, an
// error, a refused delivery or a STOP command.
//
// The controlling thread drives it with the commands of WorkerThread: INIT and
// PAUSE from Activate, STOP and EXIT from Deactivate. To restart streaming
// after a seek, a deriving pin that has a thread (ThreadExists) sends, in
// this order: SendBeginFlush, SendCommand(CommandStop), SendEndFlush, then
// SendCommand(CommandRun). The flush comes first because the thread may be
// waiting inside the downstream Receive or for a sample the downstream pin
// holds; the flush releases it, so that it can see the STOP. The restart
// holds no lock that the hooks below take (SendCommand waits for the thread).
// It may meet a Stop on another thread: Deactivate's STOP and EXIT are never
// split by it, and commands to a thread that has ended answer E_FAIL at once.
//
// The streaming thread never waits for the filter's state lock: the
// controlling thread holds it while it waits for the thread's replies. The
// hooks that run on the thread must therefore not take it.
//
// Lifetime contract: this pin's destructor ends the thread, but by then the
// deriving parts are gone. A deriving pin whose hooks use its own members
// calls EndStreaming in its own destructor.
#pragma once

#include "framework/OutputPinBase.h"
#include "framework/SourceFilterBase.h"
#include "framework/WorkerThread.h"

#include <atomic>

class SourceStreamPin : public WorkerThread, public OutputPinBase {
public:
    // Adds the pin to the filter; *result (when given) receives AddPin's answer.
    SourceStreamPin(HRESULT* result, SourceFilterBase* filter, LPCWSTR pinName);
    ~SourceStreamPin() override;

    // S_OK: deliver this sample; S_FALSE: end of stream; anything else is an
    // error that ends streaming and is reported to the graph.
    virtual HRESULT FillSample(IMediaSample* sample) = 0;
    // On the streaming thread when INIT arrives; a failure refuses INIT.
    virtual HRESULT OnThreadBegin();
    // On the streaming thread as it ends; a failure gives exit code 1.
    virtual HRESULT OnThreadEnd();
    // On the streaming thread each time the loop starts; the result is ignored.
    virtual HRESULT OnPlayBegin();
    virtual HRESULT StreamLoop();
    // The one media type the pin offers.
    virtual HRESULT GetStreamType(MediaTypeRecord* type);

    HRESULT Activate() override;
    HRESULT Deactivate() override;
    HRESULT BreakPeer() override;
    HRESULT CheckType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetTypeAt(int index, MediaTypeRecord* type) override;

    // Decommits the allocator, so that a thread waiting for an empty sample
    // is released, then ends the thread (STOP, EXIT, join), whatever state
    // it is in; a thread that has already ended is only joined. The result
    // is the decommit's. A buffer the thread asks for as the decommit runs
    // is refused by the allocator, and the loop ends without an error.
    HRESULT EndStreaming();

    SourceFilterBase* OwningFilter() const { return owner; }

protected:
    DWORD ThreadMain() override;

private:
    // What StreamLoop does with a command found pending while streaming;
    // true when streaming goes on.
    bool AnswerWhileStreaming(LONG command);
    // Whether a failed request for a buffer means the allocator was
    // decommitted (a stop under way) rather than a failure to report.
    bool AllocatorStopped(HRESULT acquired);

    SourceFilterBase* owner;
    // Set while EndStreaming decommits and ends the thread: the loop asks
    // for no sample once this is set.
    std::atomic<bool> ending{false};
};
