// Small helpers for the wide names that filters and pins carry.
#pragma once

#include "platform/Platform.h"

#include <cstddef>

// A heap copy of text (its length plus the terminating null), or null when
// text is null or the copy cannot be allocated. Freed with delete[].
WCHAR* DuplicateWide(const WCHAR* text);

// Copies text into a fixed field of capacity characters, cutting it so that
// the terminating null always fits; null text gives an empty field.
void CopyToNameField(WCHAR* field, size_t capacity, const WCHAR* text);

// Writes value as decimal text; the buffer must hold at least 12 characters.
void FormatDecimal(WCHAR* buffer, LONG value);
