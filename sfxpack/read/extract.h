// `sfxpack extract`: unpacks a package on the build machine (Linux) as the
// launcher would unpack it under Windows.
#ifndef SFXPACK_EXTRACT_H
#define SFXPACK_EXTRACT_H

#include "sfxpack/read/reader.h"

namespace sfxpack {

struct ExtractOptions {
    std::string directory;  // UTF-8
    int codePage = 1252;
    bool force = false;     // extract into a folder that is not empty
};

struct ExtractResult {
    bool recordPresent = false;
    int32_t files = 0;
};

// The path below the working folder that the launcher would write for a
// stored `name` (ANSI, descrambled): split at the last backslash, the folder
// part cut by as many bytes as `sourcePrefix` is long, checked by the shared
// name rules (package/names.h), then split into components at '\' and '/',
// converted to UTF-8, trailing dots and blanks dropped as Windows drops
// them. False, with the reason, for a name the rules refuse or one without
// a file name. `leadByteRanges` as LeadByteRanges gives them.
bool DestinationComponents(const std::string &name, const std::string &sourcePrefix, int codePage,
                           const unsigned char *leadByteRanges, std::vector<std::string> *components,
                           std::string *why);

// Writes every entry below `options.directory`, created when missing, with
// its time stamp (dosDateTime taken as local time). Never follows a link
// that is already there; an entry whose bytes do not match the integrity
// record leaves no file behind. Stops at the first fault.
bool ExtractPackage(Source &file, Source &recordFile, const ExtractOptions &options, ExtractResult *result,
                    std::string *error);

}  // namespace sfxpack

#endif
