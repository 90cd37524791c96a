// Names that Windows takes for one file: the check that create, verify and
// extract share, on the names as the launcher's system reads the stored
// bytes.
#ifndef SFXPACK_COMMON_NAME_CLASH_H
#define SFXPACK_COMMON_NAME_CLASH_H

#include <map>
#include <string>
#include <vector>

namespace sfxpack {

struct NameClash {
    enum Kind {
        NONE,
        SAME_NAME,        // spelt alike: the later file replaces the earlier one
        CASE,             // two files whose names differ only in case
        SHORT_NAME,       // an 8.3 name such as LONGFI~1.TXT beside the long name it may stand for
        FILE_AND_FOLDER,  // a file where a folder of that name is, or the other way round
    };
    Kind kind = NONE;
    size_t earlier = 0;  // the index the earlier name was added with
    // Components of each path down to the level that clashes, both in one
    // folder; `fileFirst` when that level is a file in the earlier name.
    size_t depth = 0;
    bool fileFirst = false;
};

class NameClashes {
public:
    // Adds the path of a file, given by its components in UTF-8, known by
    // `index`, and says in `clash` how it meets a name added before (NONE
    // when it stands apart). Case is compared as Windows compares it
    // (UpperCaseName). A name of 8.3 shape with a '~' in its base clashes
    // with a long name (one not of 8.3 shape) in its folder that begins,
    // case aside, with the part before the '~' and whose extension begins
    // with its extension: Windows may have given the long name that short
    // one. False, with the reason, when names cannot be compared.
    bool Add(const std::vector<std::string> &components, size_t index, NameClash *clash, std::string *error);

private:
    struct Node {
        bool isFile;
        size_t owner;
        std::string spelling;
    };
    struct Folder {
        std::map<std::wstring, Node> children;  // by upper-case name
        std::vector<std::wstring> shortNames;   // those with a '~', which may stand for a long one
    };
    std::map<std::wstring, Folder> folders_;  // by upper-case path, '\' separated
};

}  // namespace sfxpack

#endif
