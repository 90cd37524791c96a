// Where the launcher writes a stored name, and whether it takes it: the
// checks that verify and extract share, so that both give the launcher's
// verdict on a package.
#ifndef SFXPACK_READ_ENTRY_NAME_H
#define SFXPACK_READ_ENTRY_NAME_H

#include <cstddef>
#include <string>
#include <vector>

#include "sfxpack/common/name_clash.h"

namespace sfxpack {

enum {
    // The launcher's paths hold 259 bytes and a NUL.
    LAUNCHER_PATH_BYTES = 259,
    // "C:\~EXB0000\", a working folder under a drive's root: none is shorter.
    SHORTEST_WORKING_FOLDER = 12,
    // What the working folder adds to TEMP: "\~EXB0000\".
    WORKING_FOLDER_BELOW_TEMP = 10,
    // A longer TEMP (without its trailing backslash) does not fit the
    // launcher's 128-byte working folder; it then works below the Windows
    // folder.
    LONGEST_TEMP = 117
};

// Checks a stored `name` (ANSI, descrambled) as the launcher does before it
// writes the entry, in its order: the folder part at least as long as
// `sourcePrefix` (cut off by length, not compared); the path below the
// working folder short enough for the shortest working folder; the shared
// name rules (package/names.h); none of the characters *?"<>| that Windows
// refuses in a file name; a file name after the last separator.
// `relative` gets the path below the working folder. False, with the reason,
// for a name the launcher refuses wherever it runs. `leadByteRanges` as
// LeadByteRanges gives them.
bool CheckStoredName(const std::string &name, const std::string &sourcePrefix, const unsigned char *leadByteRanges,
                     std::string *relative, std::string *why);

// False, with the reason, for a path of `relativeLength` bytes below the
// working folder that even the shortest working folder leaves no room for:
// the launcher refuses it on every machine.
bool FitsWorkingFolder(size_t relativeLength, std::string *why);

// The longest TEMP, in bytes without a trailing backslash, under which the
// launcher takes a path of `relativeLength` bytes below its working folder.
int LongestTempFor(size_t relativeLength);

// The components of the path that CheckStoredName finds below the working
// folder, split at '\', converted to UTF-8 as the launcher's system reads
// them, empty ones left out. Each converted component is checked again: no
// '/' or NUL, not "." or "..". False, with the reason, for a name that
// either check refuses.
bool DestinationComponents(const std::string &name, const std::string &sourcePrefix, int codePage,
                           const unsigned char *leadByteRanges, std::vector<std::string> *components,
                           std::string *why);

// Entry names as Windows compares them: the components that
// DestinationComponents gives are added in stored order, and each meets the
// names before it as NameClashes says.
class EntryNames {
public:
    // Adds the components of the entry shown as `place` ("entry 2 of 5:
    // NAME"); `text` says how it meets an earlier entry, named, when the
    // kind returned is not NONE. False, with the reason, when names cannot
    // be compared.
    bool Add(const std::vector<std::string> &components, const std::string &place, NameClash *clash,
             std::string *text, std::string *error);

private:
    NameClashes clashes_;
    std::vector<std::string> places_;
};

}  // namespace sfxpack

#endif
