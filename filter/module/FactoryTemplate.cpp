#include "filter/module/FactoryTemplate.h"

#include "filter/MovieSourceFilter.h"
#include "filter/SourceInfoPage.h"

namespace {

// The output pin takes any media type: its real type comes from the movie.
const REGPINTYPES anyMediaType = {&GUID_NULL, &GUID_NULL};

const REGFILTERPINS outputPinSetup = {
    const_cast<LPWSTR>(L"Output"), // name
    FALSE,                         // rendered
    TRUE,                          // output
    FALSE,                         // zero instances allowed
    FALSE,                         // many instances allowed
    &GUID_NULL,                    // connects to filter
    L"Input",                      // connects to pin
    1,                             // media type count
    &anyMediaType,
};

} // namespace

const FilterSetupRecord MovieSourceSetup = {
    &CLSID_MovieSourceFilter, L"Quarnex MOV File Source", 0x00F00000, 1, &outputPinSetup,
};

const FactoryTemplate FactoryTemplateTable[] = {
    {L"Quarnex QT File Source", &CLSID_MovieSourceFilter, CreateMovieSourceFilter, nullptr, &MovieSourceSetup},
    {L"QT Source Property Page", &CLSID_SourceInfoPage, CreateSourceInfoPage, nullptr, nullptr},
};

const int FactoryTemplateCount = sizeof FactoryTemplateTable / sizeof FactoryTemplateTable[0];

const FactoryTemplate* FindFactoryTemplate(REFCLSID clsid)
{
    for (int i = 0; i < FactoryTemplateCount; ++i)
        if (IsEqualGUID(clsid, *FactoryTemplateTable[i].clsid))
            return &FactoryTemplateTable[i];
    return nullptr;
}

void RunInitRoutines(BOOL loading)
{
    for (int i = 0; i < FactoryTemplateCount; ++i)
        if (FactoryTemplateTable[i].init)
            FactoryTemplateTable[i].init(loading, FactoryTemplateTable[i].clsid);
}
