// One decoder parameter set (or any short configuration record) in a buffer
// of its own: the parser reads them from the sample description, and each pin
// keeps a copy, since the movie record holds only the last video track's.
#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <memory>

struct ParameterSet {
    std::unique_ptr<BYTE[]> data;
    int32_t size = 0;

    // Replaces the set with a copy of count bytes; null or no bytes leave it
    // empty. False when there was no memory for the copy (the set is then empty).
    bool CopyFrom(const BYTE* bytes, int32_t count);
};
