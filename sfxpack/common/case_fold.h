// Names as Windows compares them: blind to case beyond ASCII.
#ifndef SFXPACK_COMMON_CASE_FOLD_H
#define SFXPACK_COMMON_CASE_FOLD_H

#include <string>

namespace sfxpack {

// `utf8` with every character mapped to its upper case, one character to
// one, as the file systems of Windows compare names (é and É, ａ and Ａ are
// one name there), whatever the build machine's locale. False, with the
// reason, when the mapping is not available.
bool UpperCaseName(const std::string &utf8, std::wstring *out, std::string *error);

}  // namespace sfxpack

#endif
