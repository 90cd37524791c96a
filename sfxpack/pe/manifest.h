// The application manifest (RT_MANIFEST 1): the one written for an execution
// level, and the checks on one that the user gives.
#ifndef SFXPACK_PE_MANIFEST_H
#define SFXPACK_PE_MANIFEST_H

#include <string>

namespace sfxpack {

// "asInvoker", "highestAvailable" or "requireAdministrator" -> the whole
// manifest (UTF-8 XML): that requested level, the supported systems from
// Vista to 11, and system DPI awareness. The same bytes every time.
bool ManifestForLevel(const std::string &level, std::string *xml, std::string *error);
// Checks that `xml` is well-formed XML whose root element is <assembly>.
// The error reads "line N: what is wrong", for the caller to prefix with
// the file's name.
bool CheckManifest(const std::string &xml, std::string *error);
// The level attribute of <requestedExecutionLevel>, or "none" when there is
// none; comments are skipped.
std::string RequestedLevel(const std::string &xml);

}  // namespace sfxpack

#endif
