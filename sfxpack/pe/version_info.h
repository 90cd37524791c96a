// The version resource (RT_VERSION) that Explorer's Details tab and
// GetFileVersionInfo read: fixed version numbers and Unicode strings.
#ifndef SFXPACK_PE_VERSION_INFO_H
#define SFXPACK_PE_VERSION_INFO_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sfxpack/common/bytes.h"

namespace sfxpack {

struct VersionInfo {
    uint16_t fileVersion[4] = {};  // e.g. 1.2.0.0
    uint16_t productVersion[4] = {};
    std::vector<std::pair<std::string, std::string>> strings;  // key, value, UTF-8, in the order to store
};

// "1", "1.2", "1.2.3" or "1.2.3.4", each 0..65535; missing parts are 0.
bool ParseVersionNumber(const std::string &text, uint16_t version[4], std::string *error);
// The four numbers as "1.2.0.0".
std::string VersionText(const uint16_t version[4]);
// Whether two string keys (UTF-8) are one to VerQueryValue, which ignores the
// case of ASCII letters: such keys would hide one another.
bool SameVersionKey(const std::string &a, const std::string &b);
// The data of an RT_VERSION resource: VS_VERSIONINFO with VS_FIXEDFILEINFO
// (an application for 32-bit Windows), a StringFileInfo table "040904B0"
// holding the strings in UTF-16, and VarFileInfo\Translation 0x0409/1200.
// Refuses invalid UTF-8, a key that is empty, repeated (in any case) or holds '=' or a
// control character, and strings too long for the resource's 16-bit lengths.
bool BuildVersionResource(const VersionInfo &info, Bytes *data, std::string *error);
// Reads such data back: the fixed versions and the strings of the first table.
bool ReadVersionResource(const Bytes &data, VersionInfo *info, std::string *error);

}  // namespace sfxpack

#endif
