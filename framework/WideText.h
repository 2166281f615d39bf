// Wide text: the names that filters and pins carry, and its conversion to and
// from the narrow text of the ANSI code page that file names, the registry
// and the narrow window calls take. Every conversion in the project goes
// through here.
#pragma once

#include "platform/Platform.h"

#include <cstddef>
#include <string>

// A heap copy of text (its length plus the terminating null), or null when
// text is null or the copy cannot be allocated. Freed with delete[].
WCHAR* DuplicateWide(const WCHAR* text);

// Copies text into a fixed field of capacity characters, cutting it so that
// the terminating null always fits; null text gives an empty field.
void CopyToNameField(WCHAR* field, size_t capacity, const WCHAR* text);

// Writes value as decimal text; the buffer must hold at least 12 characters.
void FormatDecimal(WCHAR* buffer, LONG value);

// Converts text with its terminator into a buffer of size elements, whole or
// not at all: a file name cut to fit would name some other file. On failure
// (null text, no room, no conversion) the buffer holds an empty text when it
// has room for one, and the answer says why.
HRESULT CopyNarrow(const WCHAR* text, char* buffer, int size);
HRESULT CopyWide(const char* text, WCHAR* buffer, int size);

// The same into a string of the length needed; empty when text is null or
// cannot be converted.
std::string NarrowText(const WCHAR* text);
std::wstring WideText(const std::string& text);
