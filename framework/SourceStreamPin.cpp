#include "framework/SourceStreamPin.h"

#include "framework/ComPtr.h"

SourceStreamPin::SourceStreamPin(HRESULT* result, SourceFilterBase* filter, LPCWSTR pinName)
    : WorkerThread(), OutputPinBase("SourceStreamPin", filter, filter->StateLock(), result, pinName), owner(filter)
{
    HRESULT added = owner->AddPin(this);
    if (result)
        *result = added;
}

SourceStreamPin::~SourceStreamPin()
{
    // The thread calls into this object: it must be gone before any part is.
    EndStreaming();
    owner->RemovePin(this);
}

HRESULT SourceStreamPin::OnThreadBegin() { return S_OK; }
HRESULT SourceStreamPin::OnThreadEnd() { return S_OK; }
HRESULT SourceStreamPin::OnPlayBegin() { return S_OK; }
HRESULT SourceStreamPin::GetStreamType(MediaTypeRecord*) { return E_UNEXPECTED; }

DWORD SourceStreamPin::ThreadMain()
{
    // Awaiting INIT: nothing else is meaningful before the thread has begun.
    while (WaitCommand() != CommandInit)
        ReplyCommand(E_UNEXPECTED);
    HRESULT begun = OnThreadBegin();
    if (FAILED(begun)) {
        OnThreadEnd();
        ReplyCommand(begun);
        return 1;
    }
    ReplyCommand(S_OK);

    for (;;) {
        switch (WaitCommand()) {
        case CommandPause:
        case CommandRun:
            ReplyCommand(S_OK);
            // How streaming ended changes nothing here: the thread waits for
            // the next command either way.
            StreamLoop();
            break;
        case CommandStop:
            ReplyCommand(S_OK);
            break;
        case CommandExit:
            ReplyCommand(S_OK);
            return FAILED(OnThreadEnd()) ? 1 : 0;
        default:
            ReplyCommand(E_NOTIMPL);
        }
    }
}

bool SourceStreamPin::AnswerWhileStreaming(LONG command)
{
    switch (command) {
    case CommandPause:
    case CommandRun:
        ReplyCommand(S_OK);
        return true;
    case CommandStop:
        // Left posted: the command loop answers it as soon as this loop returns.
        return false;
    default:
        ReplyCommand(E_UNEXPECTED);
        return true;
    }
}

bool SourceStreamPin::AllocatorStopped(HRESULT acquired)
{
    if (ending.load())
        return true;
    // The graph stops the filters downstream first, and a downstream pin
    // decommits the allocator it shares with this one as it stops: the
    // stream waits for the Stop that follows. A wait that the decommit ended
    // answers as a timed-out one (Wine's) or as a decommitted allocator.
    return acquired == VFW_E_NOT_COMMITTED || acquired == VFW_E_TIMEOUT;
}

HRESULT SourceStreamPin::StreamLoop()
{
    OnPlayBegin();
    for (;;) {
        LONG command = 0;
        if (PeekCommand(&command)) {
            if (AnswerWhileStreaming(command))
                continue;
            return S_FALSE;
        }

        // Ending: the EXIT that follows is answered by the command loop.
        if (ending.load())
            return S_FALSE;
        // Waits inside the allocator while every buffer is downstream: a
        // flush gives them back, and a decommit ends the wait.
        IMediaSample* sample = nullptr;
        const HRESULT acquired = AcquireSample(&sample, nullptr, nullptr, 0);
        if (FAILED(acquired) || !sample) {
            if (AllocatorStopped(acquired))
                return S_FALSE;
            SendEndOfStream();
            const HRESULT failure = FAILED(acquired) ? acquired : E_POINTER;
            owner->NotifyGraphEvent(EC_ERRORABORT, LONG_PTR(failure), 0);
            return failure;
        }

        HRESULT filled = FillSample(sample);
        if (filled == S_OK) {
            HRESULT delivered = DeliverSample(sample);
            sample->Release();
            // Downstream wants no more (S_FALSE) or failed: it knows why, so
            // streaming ends without an end of stream.
            if (delivered != S_OK)
                return S_OK;
            continue;
        }
        sample->Release();
        SendEndOfStream();
        if (filled == S_FALSE)
            return S_OK;
        owner->NotifyGraphEvent(EC_ERRORABORT, LONG_PTR(filled), 0);
        return filled;
    }
}

HRESULT SourceStreamPin::Activate()
{
    AutoLock guard(lock);
    if (owner->IsActive())
        return S_FALSE;
    if (!IsConnected())
        return S_OK;
    RETURN_IF_FAILED(OutputPinBase::Activate());
    if (!StartThread())
        return E_FAIL;
    RETURN_IF_FAILED(SendCommand(CommandInit));
    return SendCommand(CommandPause);
}

HRESULT SourceStreamPin::Deactivate() { return EndStreaming(); }

HRESULT SourceStreamPin::EndStreaming()
{
    AutoLock guard(lock);
    HRESULT result = S_OK;
    ending.store(true);
    if (IsConnected())
        result = OutputPinBase::Deactivate();
    // Also a thread left by a Pause that failed at a later pin, and one that
    // ended on a refused INIT: either would otherwise keep this pin from ever
    // streaming again.
    EndThread();
    ending.store(false);
    return result;
}

HRESULT SourceStreamPin::BreakPeer()
{
    // A thread left by a failed Pause still uses the allocator and the
    // downstream pin that are about to go.
    if (ThreadExists())
        EndStreaming();
    return OutputPinBase::BreakPeer();
}

HRESULT SourceStreamPin::CheckType(const AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    // Not the state lock: downstream asks this from inside Receive.
    AutoLock guard(&typeLock);
    MediaTypeRecord offered;
    GetStreamType(&offered);
    return offered.Equals(*type) ? S_OK : E_FAIL;
}

HRESULT SourceStreamPin::GetTypeAt(int index, MediaTypeRecord* type)
{
    AutoLock guard(&typeLock);
    if (index < 0)
        return E_INVALIDARG;
    if (index >= 1)
        return VFW_S_NO_MORE_ITEMS;
    return GetStreamType(type);
}
