// Text conversion between the build machine's UTF-8 and the launcher's ANSI
// code page. Nothing is ever replaced: a character without an exact place in
// the code page is an error that names it.
#include "sfxpack/common/codepage.h"

#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace sfxpack {

bool DecodeUtf8(const std::string &text, size_t *at, uint32_t *codePoint)
{
    unsigned char lead = text[*at];
    int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || *at + extra >= text.size())
        return false;
    static const uint32_t minimum[4] = {0, 0x80, 0x800, 0x10000};
    uint32_t c = extra ? lead & (0x3F >> extra) : lead;
    for (int i = 1; i <= extra; i++) {
        unsigned char next = text[*at + i];
        if ((next & 0xC0) != 0x80)
            return false;
        c = c << 6 | (next & 0x3F);
    }
    if (c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return false;
    *at += extra + 1;
    *codePoint = c;
    return true;
}

namespace {

std::string Describe(const std::string &text, size_t at)
{
    size_t end = at;
    uint32_t c;
    if (!DecodeUtf8(text, &end, &c))
        return "invalid UTF-8 at byte " + std::to_string(at);
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", unsigned(c));
    return "the character '" + text.substr(at, end - at) + "' (" + code + ")";
}

std::string Unsupported(int codePage)
{
    return "code page " + std::to_string(codePage) + " is not supported";
}

// ASCII-compatible, and convertible on the build machines: 720 has no
// converter in the GNU C library, and 864 puts the Arabic percent sign at
// '%'. Sorted.
const int LAUNCHER_CODE_PAGES[] = {437, 737, 775, 850, 852, 855, 857, 858, 860, 861, 862, 863, 865, 866, 869, 874,
                                   932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

#ifdef _WIN32

}  // namespace

bool Utf8ToCodePage(const std::string &utf8, int codePage, std::string *out, std::string *error)
{
    if (!IsLauncherCodePage(codePage, error))
        return false;
    if (!IsValidCodePage(codePage)) {
        *error = Unsupported(codePage);
        return false;
    }
    std::string result;
    for (size_t at = 0; at < utf8.size();) {
        size_t start = at;
        uint32_t c;
        if (!DecodeUtf8(utf8, &at, &c)) {
            *error = Describe(utf8, start);
            return false;
        }
        wchar_t wide[2];
        int units = 1;
        if (c >= 0x10000) {
            wide[0] = wchar_t(0xD800 + ((c - 0x10000) >> 10));
            wide[1] = wchar_t(0xDC00 + ((c - 0x10000) & 0x3FF));
            units = 2;
        } else {
            wide[0] = wchar_t(c);
        }
        char bytes[8];
        BOOL usedDefault = FALSE;
        int length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, units, bytes, sizeof bytes, nullptr,
                                         &usedDefault);
        if (length == 0 && GetLastError() == ERROR_INVALID_PARAMETER) {
            *error = Unsupported(codePage);
            return false;
        }
        if (length == 0 || usedDefault) {
            *error = Describe(utf8, start) + " has no place in code page " + std::to_string(codePage);
            return false;
        }
        result.append(bytes, length);
    }
    *out = result;
    return true;
}

bool CodePageToUtf8(const std::string &text, int codePage, std::string *out, std::string *error)
{
    if (!IsLauncherCodePage(codePage, error))
        return false;
    if (!IsValidCodePage(codePage)) {
        *error = Unsupported(codePage);
        return false;
    }
    if (text.empty()) {
        out->clear();
        return true;
    }
    int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(units > 0 ? units : 0, L'\0');
    if (units <= 0 ||
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), int(text.size()), &wide[0], units) != units) {
        *error = "the text is not valid in code page " + std::to_string(codePage);
        return false;
    }
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    out->assign(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, &(*out)[0], length, nullptr, nullptr);
    return true;
}

#else

// Runs `text` through iconv; on a character it cannot convert, `*failedAt`
// is its byte offset in `text`.
bool Convert(const char *to, const char *from, const std::string &text, std::string *out, size_t *failedAt,
             bool *unsupported)
{
    iconv_t cd = iconv_open(to, from);
    *unsupported = cd == reinterpret_cast<iconv_t>(-1);
    if (*unsupported)
        return false;
    std::string result;
    char buffer[1024];
    char *in = const_cast<char *>(text.data());
    size_t inLeft = text.size();
    bool ok = true;
    for (bool flushing = false;;) {
        char *outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t done = flushing ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft) : iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        int failure = done == size_t(-1) ? errno : 0;
        result.append(buffer, outPtr - buffer);
        if (failure == E2BIG)
            continue;
        if (failure) {
            *failedAt = text.size() - inLeft;
            ok = false;
            break;
        }
        if (flushing)
            break;
        flushing = true;
    }
    iconv_close(cd);
    if (ok)
        *out = result;
    return ok;
}

std::string IconvName(int codePage)
{
    return "CP" + std::to_string(codePage);
}

}  // namespace

bool Utf8ToCodePage(const std::string &utf8, int codePage, std::string *out, std::string *error)
{
    if (!IsLauncherCodePage(codePage, error))
        return false;
    size_t failedAt = 0;
    bool unsupported;
    if (Convert(IconvName(codePage).c_str(), "UTF-8", utf8, out, &failedAt, &unsupported))
        return true;
    size_t probe = failedAt;
    uint32_t c;
    if (unsupported)
        *error = Unsupported(codePage);
    else if (!DecodeUtf8(utf8, &probe, &c))
        *error = Describe(utf8, failedAt);
    else
        *error = Describe(utf8, failedAt) + " has no place in code page " + std::to_string(codePage);
    return false;
}

bool CodePageToUtf8(const std::string &text, int codePage, std::string *out, std::string *error)
{
    if (!IsLauncherCodePage(codePage, error))
        return false;
    size_t failedAt = 0;
    bool unsupported;
    if (Convert("UTF-8", IconvName(codePage).c_str(), text, out, &failedAt, &unsupported))
        return true;
    if (unsupported) {
        *error = Unsupported(codePage);
    } else {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", failedAt < text.size() ? unsigned(static_cast<unsigned char>(text[failedAt])) : 0u);
        *error = "byte " + std::string(byte) + " at " + std::to_string(failedAt) + " is not valid in code page " +
                 std::to_string(codePage);
    }
    return false;
}

#endif

bool IsLauncherCodePage(int codePage, std::string *error)
{
    for (int taken : LAUNCHER_CODE_PAGES)
        if (taken == codePage)
            return true;
    *error = "code page " + std::to_string(codePage) +
             " is not an ASCII-compatible Windows code page, the only kind the launcher can read names in: "
             "874, 932, 936, 949, 950, 1250 to 1258, or the OEM code pages 437, 737, 775, 850, 852, 855, 857, "
             "858, 860 to 863, 865, 866 and 869";
    return false;
}

// Windows' double-byte ANSI code pages, as GetCPInfo lists their lead bytes.
// Fixed here rather than asked of the system, so that the same input is
// refused or packed alike on every build machine.
Bytes LeadByteRanges(int codePage)
{
    switch (codePage) {
    case 932:
        return {0x81, 0x9F, 0xE0, 0xFC, 0, 0};
    case 936:
    case 949:
    case 950:
        return {0x81, 0xFE, 0, 0};
    default:
        return {0, 0};
    }
}

// UTF-8 to UTF-16, characters beyond the BMP as surrogate pairs.
bool Utf8ToUtf16(const std::string &text, std::u16string *out, std::string *error)
{
    out->clear();
    for (size_t at = 0; at < text.size();) {
        size_t start = at;
        uint32_t c;
        if (!DecodeUtf8(text, &at, &c)) {
            *error = "invalid UTF-8 at byte " + std::to_string(start);
            return false;
        }
        if (c >= 0x10000) {
            out->push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
            out->push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out->push_back(char16_t(c));
        }
    }
    return true;
}

// A lone surrogate, which no writer should leave, reads as U+FFFD.
std::string Utf16ToUtf8(const std::u16string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | c >> 6);
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | c >> 12);
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | c >> 18);
            out += char(0x80 | (c >> 12 & 0x3F));
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace sfxpack
