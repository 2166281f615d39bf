#include "framework/WideText.h"

#include "framework/Win32Failure.h"

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

namespace {

// The platform's two conversions, picked by the direction of the types.
int Convert(const WCHAR* text, char* buffer, int size)
{
    return WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, size, nullptr, nullptr);
}

int Convert(const char* text, WCHAR* buffer, int size)
{
    return MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, size);
}

template <typename From, typename To> HRESULT CopyConverted(const From* text, To* buffer, int size)
{
    if (!text || !buffer || size <= 0)
        return E_POINTER;
    if (Convert(text, buffer, size) > 0)
        return S_OK;
    // A failed conversion may leave a partial, unterminated text behind.
    buffer[0] = 0;
    return LastErrorFailure();
}

template <typename From, typename To> std::basic_string<To> Converted(const From* text)
{
    // The size query counts the terminator, which the string keeps to itself.
    int size = text ? Convert(text, static_cast<To*>(nullptr), 0) : 0;
    if (size <= 0)
        return std::basic_string<To>();
    std::basic_string<To> converted(size_t(size), To(0));
    if (FAILED(CopyConverted(text, &converted[0], size)))
        return std::basic_string<To>();
    converted.resize(size_t(size - 1));
    return converted;
}

} // namespace

HRESULT CopyNarrow(const WCHAR* text, char* buffer, int size)
{
    return CopyConverted(text, buffer, size);
}

HRESULT CopyWide(const char* text, WCHAR* buffer, int size)
{
    return CopyConverted(text, buffer, size);
}

std::string NarrowText(const WCHAR* text)
{
    return Converted<WCHAR, char>(text);
}

std::wstring WideText(const std::string& text)
{
    return Converted<char, WCHAR>(text.c_str());
}
