#include "framework/FilterRegistration.h"

namespace {

// The mapper's answer for a filter that it has no entry for.
HRESULT NotFoundIsRemoved(HRESULT result)
{
    return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ? S_OK : result;
}

// A record may leave a class identifier out; the mapper takes GUID_NULL for it.
const CLSID& OrNull(const CLSID* id)
{
    return id ? *id : GUID_NULL;
}

HRESULT RegisterPins(const FilterSetupRecord* setup, IFilterMapper* mapper)
{
    for (UINT i = 0; i < setup->pinCount; ++i) {
        const REGFILTERPINS& pin = setup->pins[i];
        HRESULT result = mapper->RegisterPin(*setup->classId, pin.strName, pin.bRendered, pin.bOutput, pin.bZero,
                                             pin.bMany, OrNull(pin.clsConnectsToFilter), pin.strConnectsToPin);
        for (UINT type = 0; type < pin.nMediaTypes && SUCCEEDED(result); ++type)
            result = mapper->RegisterPinType(*setup->classId, pin.strName, OrNull(pin.lpMediaType[type].clsMajorType),
                                             OrNull(pin.lpMediaType[type].clsMinorType));
        if (FAILED(result))
            return result;
    }
    return S_OK;
}

} // namespace

HRESULT RegisterFilterWithMapper2(const FilterSetupRecord* setup, IFilterMapper2* mapper, BOOL doRegister)
{
    if (!setup)
        return S_FALSE;
    HRESULT result = mapper->UnregisterFilter(nullptr, nullptr, *setup->classId);
    if (doRegister) {
        REGFILTER2 record = {};
        record.dwVersion = 1;
        record.dwMerit = setup->merit;
        record.cPins = setup->pinCount;
        record.rgPins = setup->pins;
        result = mapper->RegisterFilter(*setup->classId, setup->name, nullptr, nullptr, nullptr, &record);
    }
    return NotFoundIsRemoved(result);
}

HRESULT RegisterFilterWithMapper(const FilterSetupRecord* setup, IFilterMapper* mapper, BOOL doRegister)
{
    if (!setup)
        return S_FALSE;
    HRESULT result = mapper->UnregisterFilter(*setup->classId);
    if (doRegister) {
        result = mapper->RegisterFilter(*setup->classId, setup->name, setup->merit);
        if (SUCCEEDED(result))
            result = RegisterPins(setup, mapper);
    }
    return NotFoundIsRemoved(result);
}
