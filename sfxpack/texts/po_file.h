// A translation file (.po) read by GNU gettext's own parser, libgettextpo:
// the only file that knows the library.
#ifndef SFXPACK_TEXTS_PO_FILE_H
#define SFXPACK_TEXTS_PO_FILE_H

#include <string>
#include <vector>

namespace sfxpack {

struct PoEntry {
    std::string msgid, msgstr;  // as the file holds them (UTF-8, checked by the caller)
    bool fuzzy = false;
    bool other = false;  // with a context or a plural: none of the launcher's texts
    size_t line = 0;  // of its msgstr, for messages
};

struct PoFile {
    std::string language;  // the Language header field, empty when missing
    std::string charset;   // from the Content-Type header field
    size_t headerLine = 0;  // of the header's msgstr; 0 without a header
    std::vector<PoEntry> entries;  // neither the header nor obsolete entries
};

// Whether this build reads .po files: the Windows build has no libgettextpo,
// and `why` then says so.
bool CanReadPoFiles(std::string *why);

// Reads `path`; a fault is one line "PATH:LINE: problem".
bool ReadPoFile(const std::string &path, PoFile *file, std::string *error);

}  // namespace sfxpack

#endif
