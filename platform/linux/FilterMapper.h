// The platform's filter mapper for the Linux build: one object that serves
// both CLSID_FilterMapper2 and CLSID_FilterMapper, writing and removing
// filter entries in the layer's registry where the system keeps them.
#pragma once

#include "ComObject.h"

class FilterMapper : public ComObject<IFilterMapper2, IFilterMapper> {
public:
    // IFilterMapper2: entries under HKCR\CLSID\{category}\Instance\{instance}.
    STDMETHODIMP CreateCategory(REFCLSID category, DWORD merit, LPCWSTR description) override;
    STDMETHODIMP UnregisterFilter(const CLSID* category, LPCOLESTR instance, REFCLSID filter) override;
    STDMETHODIMP RegisterFilter(REFCLSID filter, LPCWSTR name, IMoniker** moniker, const CLSID* category,
                                LPCOLESTR instance, const REGFILTER2* record) override;
    STDMETHODIMP EnumMatchingFilters(IEnumMoniker** found, DWORD flags, WINBOOL exactMatch, DWORD merit,
                                     WINBOOL inputNeeded, DWORD inputTypeCount, const GUID* inputTypes,
                                     const REGPINMEDIUM* inputMedium, const CLSID* inputCategory, WINBOOL render,
                                     WINBOOL outputNeeded, DWORD outputTypeCount, const GUID* outputTypes,
                                     const REGPINMEDIUM* outputMedium, const CLSID* outputCategory) override;

    // IFilterMapper: HKCR\Filter\{clsid} and the Merit and Pins of HKCR\CLSID\{clsid}.
    STDMETHODIMP RegisterFilter(CLSID filter, LPCWSTR name, DWORD merit) override;
    STDMETHODIMP RegisterFilterInstance(CLSID filter, LPCWSTR name, CLSID* instance) override;
    STDMETHODIMP RegisterPin(CLSID filter, LPCWSTR name, WINBOOL rendered, WINBOOL output, WINBOOL zero, WINBOOL many,
                             CLSID connectsToFilter, LPCWSTR connectsToPin) override;
    STDMETHODIMP RegisterPinType(CLSID filter, LPCWSTR pinName, CLSID majorType, CLSID subType) override;
    STDMETHODIMP UnregisterFilter(CLSID filter) override;
    STDMETHODIMP UnregisterFilterInstance(CLSID instance) override;
    STDMETHODIMP UnregisterPin(CLSID filter, LPCWSTR name) override;
    STDMETHODIMP EnumMatchingFilters(IEnumRegFilters** found, DWORD merit, WINBOOL inputNeeded, CLSID inputMajor,
                                     CLSID inputSub, WINBOOL render, WINBOOL outputNeeded, CLSID outputMajor,
                                     CLSID outputSub) override;

protected:
    void* Answer(REFIID iid) override;
};
