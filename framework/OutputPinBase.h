// A pin that produces media samples: it finds the downstream pin's memory
// transport, agrees on the allocator that carries the samples, commits it with
// the filter's state and passes samples and stream events downstream.
#pragma once

#include "framework/PinBase.h"

class OutputPinBase : public PinBase {
public:
    OutputPinBase(const char* objectName, FilterBase* filter, CritSection* lock, HRESULT* result, LPCWSTR pinName);
    ~OutputPinBase() override;

    virtual HRESULT ChooseAllocator(IMemInputPin* input, IMemAllocator** out);
    // Sets the allocator's properties for the downstream requirements in
    // properties and fails when what the allocator grants does not do.
    virtual HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) = 0;
    virtual HRESULT AcquireSample(IMediaSample** out, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
    virtual HRESULT DeliverSample(IMediaSample* sample);
    virtual HRESULT CreateDefaultAllocator(IMemAllocator** out);
    virtual HRESULT SendEndOfStream();
    virtual HRESULT SendBeginFlush();
    virtual HRESULT SendEndFlush();
    virtual HRESULT SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    HRESULT CheckPeer(IPin* peer) override;
    HRESULT CompletePeer(IPin* peer) override;
    HRESULT BreakPeer() override;
    HRESULT Activate() override;
    HRESULT Deactivate() override;

    IMemAllocator* Allocator() const { return allocator; }
    IMemInputPin* InputPin() const { return inputPin; }
    bool RunTimeError() const { return runTimeError; }

protected:
    IMemAllocator* allocator;
    IMemInputPin* inputPin;

private:
    void ReleaseInputPin();
};
