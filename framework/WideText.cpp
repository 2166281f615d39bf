#include "framework/WideText.h"

#include <cwchar>
#include <new>

WCHAR* DuplicateWide(const WCHAR* text)
{
    if (!text)
        return nullptr;
    size_t length = std::wcslen(text);
    WCHAR* copy = new (std::nothrow) WCHAR[length + 1];
    if (copy)
        std::wmemcpy(copy, text, length + 1);
    return copy;
}

void CopyToNameField(WCHAR* field, size_t capacity, const WCHAR* text)
{
    if (capacity == 0)
        return;
    size_t length = 0;
    if (text)
        while (length + 1 < capacity && text[length] != 0)
            ++length;
    if (length)
        std::wmemcpy(field, text, length);
    field[length] = 0;
}

void FormatDecimal(WCHAR* buffer, LONG value)
{
    // Digits are produced backwards from an unsigned magnitude so that the
    // most negative value has no overflow.
    ULONG magnitude = value < 0 ? 0u - static_cast<ULONG>(value) : static_cast<ULONG>(value);
    WCHAR digits[12];
    int count = 0;
    do {
        digits[count++] = WCHAR(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    size_t at = 0;
    if (value < 0)
        buffer[at++] = L'-';
    while (count > 0)
        buffer[at++] = digits[--count];
    buffer[at] = 0;
}
