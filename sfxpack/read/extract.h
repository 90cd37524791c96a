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

// Writes every entry below `options.directory`, created when missing, with
// its time stamp (dosDateTime taken as local time), after the checks of
// CheckStoredName and DestinationComponents (entry_name.h). Never follows a
// link that is already there. Each entry is written to a temporary in its
// folder and renamed to its name once its bytes match the integrity record:
// a damaged entry leaves no file behind, and a file of the same name that
// was there stays untouched. Stops at the first fault.
bool ExtractPackage(Source &file, Source &recordFile, const ExtractOptions &options, ExtractResult *result,
                    std::string *error);

}  // namespace sfxpack

#endif
