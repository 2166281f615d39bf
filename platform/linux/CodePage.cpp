// Code page conversions. On Linux the ANSI code page is UTF-8 and a wide
// character holds one code point.
#include "WinApi.h"

#include <string>

namespace {

// Decodes one UTF-8 sequence; malformed input becomes U+FFFD, one byte at a time.
wchar_t DecodeOne(const unsigned char* text, int left, int* used)
{
    unsigned char lead = text[0];
    int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || length > left) {
        *used = 1;
        return length == 1 ? wchar_t(lead) : wchar_t(0xFFFD);
    }
    uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) {
            *used = 1;
            return wchar_t(0xFFFD);
        }
        point = (point << 6) | (text[i] & 0x3F);
    }
    *used = length;
    return wchar_t(point);
}

int EncodeOne(uint32_t point, char* out)
{
    if (point < 0x80) {
        out[0] = char(point);
        return 1;
    }
    if (point < 0x800) {
        out[0] = char(0xC0 | (point >> 6));
        out[1] = char(0x80 | (point & 0x3F));
        return 2;
    }
    if (point < 0x10000) {
        out[0] = char(0xE0 | (point >> 12));
        out[1] = char(0x80 | ((point >> 6) & 0x3F));
        out[2] = char(0x80 | (point & 0x3F));
        return 3;
    }
    if (point > 0x10FFFF)
        return EncodeOne(0xFFFD, out);
    out[0] = char(0xF0 | (point >> 18));
    out[1] = char(0x80 | ((point >> 12) & 0x3F));
    out[2] = char(0x80 | ((point >> 6) & 0x3F));
    out[3] = char(0x80 | (point & 0x3F));
    return 4;
}

bool SupportedCodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }

} // namespace

int MultiByteToWideChar(UINT codePage, DWORD, LPCCH multiByte, int multiByteCount, LPWSTR wide, int wideCount)
{
    if (!SupportedCodePage(codePage) || !multiByte || multiByteCount == 0 || wideCount < 0 ||
        (wideCount > 0 && !wide)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // A count of -1 takes the text with its terminator.
    int length = multiByteCount < 0 ? int(std::strlen(multiByte)) + 1 : multiByteCount;
    const auto* bytes = reinterpret_cast<const unsigned char*>(multiByte);
    int written = 0;
    for (int at = 0; at < length;) {
        int used = 1;
        wchar_t point = DecodeOne(bytes + at, length - at, &used);
        at += used;
        if (wideCount > 0) {
            if (written >= wideCount) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            wide[written] = point;
        }
        ++written;
    }
    return written;
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWCH wide, int wideCount, LPSTR multiByte, int multiByteCount,
                        LPCCH, LPBOOL usedDefaultChar)
{
    if (!SupportedCodePage(codePage) || !wide || wideCount == 0 || multiByteCount < 0 ||
        (multiByteCount > 0 && !multiByte)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (usedDefaultChar)
        *usedDefaultChar = FALSE;
    int length = wideCount < 0 ? int(std::wcslen(wide)) + 1 : wideCount;
    int written = 0;
    for (int at = 0; at < length; ++at) {
        char encoded[4];
        int size = EncodeOne(uint32_t(wide[at]), encoded);
        if (multiByteCount > 0) {
            if (written + size > multiByteCount) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            std::memcpy(multiByte + written, encoded, size);
        }
        written += size;
    }
    return written;
}
