// What a package carries of its own besides the header: the icon the shell
// shows, the version information and the manifest, read back for `list`.
#ifndef SFXPACK_PE_RESOURCE_SUMMARY_H
#define SFXPACK_PE_RESOURCE_SUMMARY_H

#include <string>
#include <vector>

#include "sfxpack/common/bytes.h"
#include "sfxpack/pe/icon_file.h"
#include "sfxpack/pe/version_info.h"

namespace sfxpack {

struct ResourceSummary {
    std::vector<IconImage> icons;  // listed by the first icon group, the one the shell shows
    bool hasVersion = false;
    VersionInfo version;
    bool hasManifest = false;
    std::string manifest;
    std::string caption;              // string 1 in US English, UTF-8
    std::vector<uint16_t> languages;  // of the launcher's texts, in directory order
};

// Reads them from `image`, an executable's headers and sections.
bool SummarizeResources(const Bytes &image, ResourceSummary *summary, std::string *error);

}  // namespace sfxpack

#endif
