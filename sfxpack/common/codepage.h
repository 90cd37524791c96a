// Texts and names between UTF-8 and the package's ANSI code page.
#ifndef SFXPACK_COMMON_CODEPAGE_H
#define SFXPACK_COMMON_CODEPAGE_H

#include <cstdint>
#include <string>

#include "sfxpack/common/bytes.h"

namespace sfxpack {

// Decodes the UTF-8 sequence at `text[*at]`, advancing `*at`; false for a
// malformed, overlong or surrogate sequence.
bool DecodeUtf8(const std::string &text, size_t *at, uint32_t *codePoint);

// `text` made safe to show in a one-line message: each byte of an invalid
// UTF-8 sequence and each control character becomes \xNN.
std::string EscapeForMessage(const std::string &text);

// Whether names and texts in `codePage` can be read by the launcher: a Windows
// ANSI or OEM code page whose bytes below 0x80 are ASCII, so that '\', '/',
// '.' and ':' in its text are those characters and nothing else is. Others
// (the EBCDIC ones, 864, UTF-7, ...) are refused with a message that lists
// the ones taken.
bool IsLauncherCodePage(int codePage, std::string *error);

// Conversions between the build machine's UTF-8 and a code page that
// IsLauncherCodePage takes (1252, 932, ...), character by character, as
// the launcher's system converts: nothing composed or decomposed. A
// character the code page cannot hold is refused, never replaced by a
// look-alike or '?', and so is one whose bytes read back as another
// character (U+00A5 stored as '\' in 932): the builds for Linux and
// Windows refuse the same characters. The error names the character.
bool Utf8ToCodePage(const std::string &utf8, int codePage, std::string *out, std::string *error);
bool CodePageToUtf8(const std::string &text, int codePage, std::string *out, std::string *error);
// UTF-8 to UTF-16, characters beyond the BMP as surrogate pairs; the error
// gives the byte of malformed UTF-8.
bool Utf8ToUtf16(const std::string &text, std::u16string *out, std::string *error);
// A lone surrogate, which no writer should leave, reads as U+FFFD.
std::string Utf16ToUtf8(const std::u16string &text);
// The lead bytes of `codePage` as package/names.h takes them: pairs of first
// and last byte, ended by a zero pair (the zero pair alone when it has none).
Bytes LeadByteRanges(int codePage);

}  // namespace sfxpack

#endif
