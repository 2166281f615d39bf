// What every parse must leave behind, whatever the file held: the checks that
// the hostile movie suite and the parser's fuzz target share.
#pragma once

#include "tests/parser/FakeParserHost.h"

#include <cstdint>
#include <string>
#include <vector>

// Every way in which the parse broke its promises, one sentence each; empty
// when the result is consistent. fileLength is the length of the parsed file.
// - The result says a pin was asked for exactly when one was, and no track
//   asks for more than one.
// - Every pin offers one of the three stream types with a format block that
//   matches what it was handed, and got the whole hand-over once, in order.
// - Every table a pin was handed lies wholly inside the file, and its chunk
//   map is one the sample locator can walk.
// - The track records and the text stay inside their bounds.
std::vector<std::string> FindInconsistencies(const ParsedMovie& parsed, uint64_t fileLength);
