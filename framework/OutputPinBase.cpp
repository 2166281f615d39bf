#include "framework/OutputPinBase.h"

#include "framework/ComPtr.h"

OutputPinBase::OutputPinBase(const char* objectName, FilterBase* filter, CritSection* lock, HRESULT* result,
                             LPCWSTR pinName)
    : PinBase(objectName, filter, lock, result, pinName, PINDIR_OUTPUT), allocator(nullptr), inputPin(nullptr)
{
}

OutputPinBase::~OutputPinBase()
{
    // Normally BreakPeer has let both go at disconnection; a pin destroyed
    // while connected still gives back the references it holds.
    if (allocator)
        allocator->Release();
    ReleaseInputPin();
}

void OutputPinBase::ReleaseInputPin()
{
    if (inputPin) {
        IMemInputPin* old = inputPin;
        inputPin = nullptr;
        old->Release();
    }
}

HRESULT OutputPinBase::CheckPeer(IPin* peer)
{
    RETURN_IF_FAILED(PinBase::CheckPeer(peer));
    ReleaseInputPin();
    RETURN_IF_FAILED(peer->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&inputPin)));
    return S_OK;
}

HRESULT OutputPinBase::CompletePeer(IPin*)
{
    if (!inputPin)
        return E_UNEXPECTED;
    return ChooseAllocator(inputPin, &allocator);
}

HRESULT OutputPinBase::BreakPeer()
{
    if (allocator) {
        // A refusing allocator is kept, with the transport, so that the
        // disconnection can be tried again.
        RETURN_IF_FAILED(allocator->Decommit());
        IMemAllocator* old = allocator;
        allocator = nullptr;
        old->Release();
    }
    ReleaseInputPin();
    return S_OK;
}

HRESULT OutputPinBase::ChooseAllocator(IMemInputPin* input, IMemAllocator** out)
{
    *out = nullptr;
    ALLOCATOR_PROPERTIES properties = {0, 0, 0, 0};
    input->GetAllocatorRequirements(&properties);
    if (properties.cbAlign == 0)
        properties.cbAlign = 1;

    // Sizing and notification, the same for either allocator; the record is
    // shared, so the second choice sees what the first SizeBuffers left.
    auto settle = [&](IMemAllocator* candidate) {
        HRESULT result = SizeBuffers(candidate, &properties);
        return SUCCEEDED(result) ? input->NotifyAllocator(candidate, FALSE) : result;
    };

    // The downstream pin's own allocator first; its refusal at any step is
    // not reported, the pin's own allocator is tried instead. What a failing
    // GetAllocator leaves in its out value is not trusted.
    IMemAllocator* offered = nullptr;
    if (FAILED(input->GetAllocator(&offered)))
        offered = nullptr;
    if (offered) {
        if (SUCCEEDED(settle(offered))) {
            *out = offered;
            return S_OK;
        }
        offered->Release();
    }

    IMemAllocator* own = nullptr;
    HRESULT result = CreateDefaultAllocator(&own);
    if (SUCCEEDED(result) && !own)
        result = E_UNEXPECTED;
    if (SUCCEEDED(result))
        result = settle(own);
    if (SUCCEEDED(result)) {
        *out = own;
        return S_OK;
    }
    if (own)
        own->Release();
    return result;
}

HRESULT OutputPinBase::CreateDefaultAllocator(IMemAllocator** out)
{
    return CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                            reinterpret_cast<void**>(out));
}

HRESULT OutputPinBase::Activate()
{
    if (!allocator)
        return VFW_E_NO_ALLOCATOR;
    return allocator->Commit();
}

HRESULT OutputPinBase::Deactivate()
{
    runTimeError = false;
    if (!allocator)
        return VFW_E_NO_ALLOCATOR;
    return allocator->Decommit();
}

HRESULT OutputPinBase::AcquireSample(IMediaSample** out, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags)
{
    if (!allocator)
        return E_NOINTERFACE;
    return allocator->GetBuffer(out, start, stop, flags);
}

HRESULT OutputPinBase::DeliverSample(IMediaSample* sample)
{
    if (!inputPin)
        return VFW_E_NOT_CONNECTED;
    return inputPin->Receive(sample);
}

HRESULT OutputPinBase::SendEndOfStream()
{
    if (!connectedPin)
        return VFW_E_NOT_CONNECTED;
    return connectedPin->EndOfStream();
}

HRESULT OutputPinBase::SendBeginFlush()
{
    if (!connectedPin)
        return VFW_E_NOT_CONNECTED;
    return connectedPin->BeginFlush();
}

HRESULT OutputPinBase::SendEndFlush()
{
    if (!connectedPin)
        return VFW_E_NOT_CONNECTED;
    return connectedPin->EndFlush();
}

HRESULT OutputPinBase::SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    if (!connectedPin)
        return VFW_E_NOT_CONNECTED;
    return connectedPin->NewSegment(start, stop, rate);
}
