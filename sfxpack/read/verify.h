// `sfxpack verify`: checks a package without unpacking it.
#ifndef SFXPACK_VERIFY_H
#define SFXPACK_VERIFY_H

#include "sfxpack/read/reader.h"

namespace sfxpack {

struct VerifyResult {
    bool recordPresent = false;
    int32_t entries = 0;  // read whole, and checked against the record when present
    // The entry with the longest path below the working folder: "entry 2
    // of 5: NAME", and that length.
    std::string longestEntry;
    size_t longestPath = 0;
    // Entries that Windows takes for an earlier one, which the launcher
    // writes over it.
    std::vector<std::string> warnings;
};

// Checks the header, every entry as the launcher reads it, each name as the
// launcher checks it before writing (CheckStoredName) and against the names
// before it (a file and a folder of one name fail), packageLength and
// totalBlocks, and, when the header carries the integrity mark, the record
// and the CRC-32 of the header and of every entry. `recordFile` is a second
// reader of the same file, so that the record and the entries are each read
// in order. Stops at the first fault, which `error` names.
bool VerifyPackage(Source &file, Source &recordFile, int codePage, VerifyResult *result, std::string *error);

}  // namespace sfxpack

#endif
