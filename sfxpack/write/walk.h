// The walk through the folder `sfxpack create` packs: the regular files
// below it, symbolic links refused or followed, bounded by what a package
// can hold.
#ifndef SFXPACK_WRITE_WALK_H
#define SFXPACK_WRITE_WALK_H

#include <cstdint>
#include <string>
#include <vector>

namespace sfxpack {

struct Found {
    std::string path;      // as the user sees it
    std::string relative;  // UTF-8, '/' separators
    std::string stored;    // prefix and relative path in the code page, backslashes
    int64_t size = 0;
    int64_t modified = 0;
};

struct WalkRequest {
    std::string directory;
    bool followLinks = false;
    // Empty files are left out later, so they take no room in the package.
    bool skipEmpty = false;
    // Where the entries start and the bytes of the stored prefix: each file
    // found counts at least its entry's fixed fields, a byte a character of
    // its name and its data.
    int64_t payloadOffset = 0;
    size_t prefixBytes = 0;
    // The package being written. When it exists already and the walk meets
    // it, under any name (the same device and inode), it is left out with
    // a warning: the package would otherwise hold its own older self.
    std::string outputPath;
};

// The most folders a walk goes through, each visit counted, the folder given
// included.
enum { WALK_FOLDER_VISITS = 100000 };

// Appends the regular files below `request.directory` to `found`, in the
// folder's own order. Stops as soon as the files found, counted at their
// least, pass the 2 GiB a package can reach, or its visits to folders pass
// WALK_FOLDER_VISITS: links followed can lead to the same folders over and
// over without ever looping. Refuses, naming it, a
// link unless `followLinks`, a link that points nowhere or back into a
// folder being walked, and whatever is neither file nor folder.
bool WalkTree(const WalkRequest &request, std::vector<Found> *found, std::vector<std::string> *warnings,
              std::string *error);

}  // namespace sfxpack

#endif
