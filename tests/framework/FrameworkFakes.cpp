#include "tests/framework/FrameworkFakes.h"

#include "framework/WideText.h"

#include <cstring>

namespace {

// {8C6F3A10-52D4-4E8B-A1F7-3B92C4D5E6F7}: the test filter's class id.
const CLSID TestFilterClassId = {0x8c6f3a10, 0x52d4, 0x4e8b, {0xa1, 0xf7, 0x3b, 0x92, 0xc4, 0xd5, 0xe6, 0xf7}};

} // namespace

MediaTypeRecord MakeType(const GUID& major, const GUID& sub, const GUID& format, const std::vector<BYTE>& formatBytes)
{
    AM_MEDIA_TYPE type;
    InitEmptyType(&type);
    type.majortype = major;
    type.subtype = sub;
    type.formattype = format;
    type.cbFormat = ULONG(formatBytes.size());
    type.pbFormat = const_cast<BYTE*>(formatBytes.data());
    // The record copies the format bytes into its own block.
    return MediaTypeRecord(type);
}

TestFilter* TestFilter::Create()
{
    auto* filter = new TestFilter();
    filter->AddRef();
    return filter;
}

TestFilter::TestFilter() : SourceFilterBase("TestFilter", nullptr, TestFilterClassId) {}

HRESULT TypeBook::Check(const AM_MEDIA_TYPE*)
{
    ++checks;
    return checkAnswer;
}

HRESULT TypeBook::At(int index, MediaTypeRecord* type)
{
    if (index < 0 || size_t(index) >= offered.size())
        return VFW_S_NO_MORE_ITEMS;
    return type->Assign(offered[size_t(index)]);
}

TestPin::TestPin(TestFilter* filter, LPCWSTR name, PIN_DIRECTION direction)
    : PinBase("TestPin", filter, filter->StateLock(), nullptr, name, direction), owner(filter)
{
    owner->AddPin(this);
}

TestPin::~TestPin() { owner->RemovePin(this); }

void TestPin::Log(const char* call)
{
    owner->calls.push_back(std::string(call) + " " + NarrowText(Name()));
}

HRESULT TestPin::Activate()
{
    Log("Activate");
    return activateAnswer;
}

HRESULT TestPin::Deactivate()
{
    Log("Deactivate");
    return deactivateAnswer;
}

HRESULT TestPin::OnRun(REFERENCE_TIME start)
{
    Log("OnRun");
    runStart = start;
    return onRunAnswer;
}

HRESULT TestPin::BreakPeer()
{
    ++breaks;
    return breakAnswer;
}

TestOutputPin::TestOutputPin(TestFilter* filter, LPCWSTR name)
    : OutputPinBase("TestOutputPin", filter, filter->StateLock(), nullptr, name), owner(filter)
{
    owner->AddPin(this);
}

TestOutputPin::~TestOutputPin() { owner->RemovePin(this); }

HRESULT TestOutputPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties)
{
    size_t call = sizeRequests.size();
    sizeRequests.push_back(*properties);
    sizedAllocators.push_back(allocator);
    if (call < sizeAnswers.size() && FAILED(sizeAnswers[call]))
        return sizeAnswers[call];
    ALLOCATOR_PROPERTIES request = *properties;
    request.cBuffers = 1;
    request.cbBuffer = bufferSize;
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT result = allocator->SetProperties(&request, &actual);
    if (FAILED(result))
        return result;
    return actual.cbBuffer >= bufferSize && actual.cBuffers >= 1 ? S_OK : E_FAIL;
}

HRESULT TestOutputPin::CreateDefaultAllocator(IMemAllocator** out)
{
    if (FAILED(defaultAllocatorAnswer)) {
        *out = nullptr;
        return defaultAllocatorAnswer;
    }
    return OutputPinBase::CreateDefaultAllocator(out);
}

HRESULT FakeClock::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IReferenceClock)) {
        *out = static_cast<IReferenceClock*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeClock::GetTime(REFERENCE_TIME* out)
{
    if (FAILED(answer))
        return answer;
    *out = now;
    return S_OK;
}
