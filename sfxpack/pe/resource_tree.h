// The resource section of a PE image as a flat list of resources, read from
// and laid out as the three-level directory (type, name, language) that the
// loader searches.
#ifndef SFXPACK_PE_RESOURCE_TREE_H
#define SFXPACK_PE_RESOURCE_TREE_H

#include <cstdint>
#include <string>
#include <vector>

#include "sfxpack/common/bytes.h"
#include "sfxpack/pe/pe_image.h"

namespace sfxpack {

// Standard resource types used here (winuser.h names).
enum : uint16_t { RT_ICON_TYPE = 3, RT_GROUP_ICON_TYPE = 14, RT_VERSION_TYPE = 16, RT_MANIFEST_TYPE = 24 };

// A type or a name: a number, or a UTF-16 string when `name` is not empty.
struct ResourceKey {
    uint16_t id = 0;
    std::u16string name;
};

bool operator==(const ResourceKey &a, const ResourceKey &b);
// The order of a directory's entries, which the loader searches by halves:
// strings first, by their UTF-16 units, then numbers ascending.
bool operator<(const ResourceKey &a, const ResourceKey &b);

struct Resource {
    ResourceKey type, name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    Bytes data;
};

// Reads the resource directory at the start of `section`, the raw data of
// the section at `sectionRva`; every data block must lie within it. The
// resources come in directory order.
bool ParseResourceTree(const Bytes &section, uint32_t sectionRva, std::vector<Resource> *resources,
                       std::string *error);

// Where one resource lies in its section, found without reading its data;
// offsets count from the start of the section.
struct ResourcePlace {
    uint32_t dataEntry = 0;   // of its IMAGE_RESOURCE_DATA_ENTRY
    uint32_t dataRva = 0;     // of its data, as that entry gives it
    uint32_t size = 0;        // of its data, as that entry gives it
    uint32_t nameString = 0;  // of its name: a length word, then UTF-16 units
    uint32_t languages = 0;   // under its name; the place is that of the first
};

// Finds the resource of the numbered `type` named `name`, ASCII case aside
// as FindResourceA compares names, in the resource directory at the start of
// `section`, as the loader does. False, with the reason, when there is none
// or its first language leads to no data entry.
bool FindNamedResource(const Bytes &section, uint16_t type, const std::string &name, ResourcePlace *place,
                       std::string *error);

// The resources of the PE image `file`, with what a rebuild of its resource
// section needs: its headers in `image` and the section's address in
// `sectionRva`.
bool ReadImageResources(const Bytes &file, PeImage *image, uint32_t *sectionRva, std::vector<Resource> *resources,
                        std::string *error);

// Lays `resources` out as a resource section at `sectionRva`: the
// directories depth first, then the name strings, the data entries and the
// data, each block 8-aligned, as the resource compiler of the toolchain does;
// entries sorted as the loader expects. The size is a multiple of 8.
Bytes LayOutResourceTree(const std::vector<Resource> &resources, uint32_t sectionRva);

}  // namespace sfxpack

#endif
