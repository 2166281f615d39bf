#include "tools/qtsource/Report.h"

#include "tools/qtsource/HresultText.h"

#include <cstdio>

void ReportFailure(const std::string& subject, const std::string& what, HRESULT result, const std::string& note)
{
    std::fprintf(stderr, "qtsource: %s: %s: %s%s%s\n", subject.c_str(), what.c_str(), HresultText(result).c_str(),
                 note.empty() ? "" : " ", note.c_str());
    std::fflush(stderr);
}
