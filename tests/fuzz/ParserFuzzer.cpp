// The parser on arbitrary bytes: every input is parsed as a movie file. The
// parse must end, stay inside its buffers and leak nothing (the sanitizers and
// libFuzzer watch that), and leave the consistent result that the hostile
// movie suite asks for; an inconsistent one ends the run as a finding.
#include "tests/fuzz/FuzzInput.h"
#include "tests/parser/FakeParserHost.h"
#include "tests/parser/ParseConsistency.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzInput input;
    const char* path = input.Write(data, size);
    if (!path) {
        std::fprintf(stderr, "the fuzz input could not be written to a file\n");
        std::abort();
    }
    const std::unique_ptr<ParsedMovie> parsed = ParseFile(path);
    const std::vector<std::string> findings = FindInconsistencies(*parsed, size);
    if (findings.empty())
        return 0;
    for (const std::string& finding : findings)
        std::fprintf(stderr, "inconsistent parse: %s\n", finding.c_str());
    std::abort();
}
