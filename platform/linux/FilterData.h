// The binary "FilterData" value that the filter mapper writes beside a
// filter's name: the registration record in the platform's packed layout.
#pragma once

#include "DShowTypes.h"

#include <vector>

// Packs a version 1 record (REGFILTERPINS rows). Returns false when the
// record cannot be packed (another version, or too large).
bool BuildFilterData(const REGFILTER2& record, std::vector<BYTE>* data);
