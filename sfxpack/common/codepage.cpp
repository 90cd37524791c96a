// Text conversion between the build machine's UTF-8 and the launcher's ANSI
// code page. Nothing is ever replaced: a character without an exact place in
// the code page is an error that names it.
#include "sfxpack/common/codepage.h"

#include <cstdio>

#include "package/names.h"

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

std::string EscapeForMessage(const std::string &text)
{
    std::string out;
    for (size_t at = 0; at < text.size();) {
        size_t start = at;
        uint32_t c;
        if (DecodeUtf8(text, &at, &c) && c >= 0x20 && c != 0x7F) {
            out.append(text, start, at - start);
            continue;
        }
        at = start + 1;
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", unsigned(static_cast<unsigned char>(text[start])));
        out += escape;
    }
    return out;
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
        // The way back as the launcher's system reads the bytes: a character
        // is taken only when it comes back as itself.
        wchar_t back[4];
        if (length == 0 || usedDefault ||
            MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, length, back, 4) != units ||
            back[0] != wide[0] || (units == 2 && back[1] != wide[1])) {
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

// One iconv descriptor, used for one character at a time: the launcher's
// system converts character by character (MultiByteToWideChar never composes
// a base letter and a combining mark into one character, as the GNU C
// library's converters for 1255 and 1258 do on whole texts).
class CharacterConverter {
public:
    CharacterConverter(const char *to, const char *from) : cd_(iconv_open(to, from)) {}
    ~CharacterConverter()
    {
        if (ok())
            iconv_close(cd_);
    }
    CharacterConverter(const CharacterConverter &) = delete;
    CharacterConverter &operator=(const CharacterConverter &) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Appends `length` bytes at `text`, converted from a fresh state with
    // whatever the converter holds back flushed; false when it refuses them.
    bool Run(const char *text, size_t length, std::string *out)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buffer[64];
        char *in = const_cast<char *>(text), *outPtr = buffer;
        size_t inLeft = length, outLeft = sizeof buffer;
        if (iconv(cd_, &in, &inLeft, &outPtr, &outLeft) == size_t(-1) || inLeft != 0 ||
            iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == size_t(-1))
            return false;
        out->append(buffer, outPtr - buffer);
        return true;
    }

private:
    iconv_t cd_;
};

std::string IconvName(int codePage)
{
    return "CP" + std::to_string(codePage);
}

// `text` in `codePage` to UTF-8 character by character, as the launcher's
// system reads it; on a byte sequence the code page does not define,
// `*failedAt` is its offset.
bool DecodeCharacters(CharacterConverter &decoder, const std::string &text, const Bytes &leadBytes,
                      std::string *out, size_t *failedAt)
{
    for (size_t at = 0; at < text.size();) {
        unsigned char c = text[at];
        size_t length = IsLeadByte(leadBytes.data(), c) && at + 1 < text.size() ? 2 : 1;
        if (c < 0x80)
            out->push_back(char(c));
        else if (!decoder.Run(text.data() + at, length, out)) {
            *failedAt = at;
            return false;
        }
        at += length;
    }
    return true;
}

}  // namespace

bool Utf8ToCodePage(const std::string &utf8, int codePage, std::string *out, std::string *error)
{
    if (!IsLauncherCodePage(codePage, error))
        return false;
    CharacterConverter encoder(IconvName(codePage).c_str(), "UTF-8"), decoder("UTF-8", IconvName(codePage).c_str());
    if (!encoder.ok() || !decoder.ok()) {
        *error = Unsupported(codePage);
        return false;
    }
    Bytes leadBytes = LeadByteRanges(codePage);
    std::string result;
    for (size_t at = 0; at < utf8.size();) {
        size_t start = at;
        uint32_t c;
        if (!DecodeUtf8(utf8, &at, &c)) {
            *error = Describe(utf8, start);
            return false;
        }
        if (c < 0x80) {
            result.push_back(char(c));
            continue;
        }
        // A character is taken only when it comes back as itself: the
        // converters map some characters onto another's bytes (U+00A5 onto
        // '\' in 932, U+0340 onto U+0300's in 1258), and two names would
        // then be one name to the launcher.
        std::string bytes, back;
        size_t failedAt;
        if (!encoder.Run(utf8.data() + start, at - start, &bytes) ||
            !DecodeCharacters(decoder, bytes, leadBytes, &back, &failedAt) ||
            back != utf8.substr(start, at - start)) {
            *error = Describe(utf8, start) + " has no place in code page " + std::to_string(codePage);
            return false;
        }
        result += bytes;
    }
    *out = result;
    return true;
}

bool CodePageToUtf8(const std::string &text, int codePage, std::string *out, std::string *error)
{
    if (!IsLauncherCodePage(codePage, error))
        return false;
    CharacterConverter decoder("UTF-8", IconvName(codePage).c_str());
    if (!decoder.ok()) {
        *error = Unsupported(codePage);
        return false;
    }
    std::string result;
    size_t failedAt = 0;
    if (DecodeCharacters(decoder, text, LeadByteRanges(codePage), &result, &failedAt)) {
        *out = result;
        return true;
    }
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", unsigned(static_cast<unsigned char>(text[failedAt])));
    *error = "byte " + std::string(byte) + " at " + std::to_string(failedAt) + " is not valid in code page " +
             std::to_string(codePage);
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
