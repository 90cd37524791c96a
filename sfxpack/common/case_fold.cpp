#include "sfxpack/common/case_fold.h"

#ifdef _WIN32
#include <filesystem>
#include <windows.h>
#else
#include <cstdint>
#include <locale.h>
#include <wctype.h>

#include "sfxpack/common/codepage.h"
#endif

namespace sfxpack {

#ifdef _WIN32

bool UpperCaseName(const std::string &utf8, std::wstring *out, std::string *error)
{
    std::wstring wide = std::filesystem::u8path(utf8).wstring();
    *out = wide;
    if (wide.empty())
        return true;
    // The invariant locale: no language's special cases, such as Turkish i.
    int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), int(wide.size()), &(*out)[0],
                               int(out->size()), nullptr, nullptr, 0);
    if (length != int(wide.size())) {
        *error = "cannot compare names as Windows does: LCMapStringEx failed";
        return false;
    }
    return true;
}

#else

bool UpperCaseName(const std::string &utf8, std::wstring *out, std::string *error)
{
    // C.UTF-8 holds Unicode's simple case mappings and nothing of any
    // language, which is what the upper-case table of Windows follows. That
    // table maps UTF-16 units one by one: a character past U+FFFF, a pair
    // of surrogates there, keeps its case.
    static locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (unicode == locale_t(0)) {
        *error = "cannot compare names as Windows does: the C library has no locale C.UTF-8";
        return false;
    }
    out->clear();
    for (size_t at = 0; at < utf8.size();) {
        uint32_t c;
        if (!DecodeUtf8(utf8, &at, &c)) {
            *error = "cannot compare names as Windows does: invalid UTF-8 at byte " + std::to_string(at);
            return false;
        }
        out->push_back(wchar_t(c > 0xFFFF ? c : towupper_l(wint_t(c), unicode)));
    }
    return true;
}

#endif

}  // namespace sfxpack
