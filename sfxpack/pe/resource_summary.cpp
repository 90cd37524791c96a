// The resources that `list` shows, found the way Windows finds them: the
// first icon group in directory order, version and manifest by id 1, the
// caption and the languages of the string table's first block.
#include "sfxpack/pe/resource_summary.h"

#include "resources/resource.h"
#include "sfxpack/common/codepage.h"
#include "sfxpack/pe/resource_edit.h"
#include "sfxpack/pe/resource_tree.h"
#include "sfxpack/pe/string_table.h"

namespace sfxpack {

bool SummarizeResources(const Bytes &image, ResourceSummary *summary, std::string *error)
{
    *summary = ResourceSummary();
    PeImage pe;
    uint32_t rva;
    std::vector<Resource> resources;
    if (!ReadImageResources(image, &pe, &rva, &resources, error))
        return false;
    bool groupSeen = false;
    for (const Resource &r : resources) {
        if (!r.type.name.empty())
            continue;
        if (r.type.id == RT_GROUP_ICON_TYPE && !groupSeen) {
            groupSeen = true;
            if (!ReadIconGroup(r.data, &summary->icons, error))
                return false;
        } else if (r.type.id == RT_VERSION_TYPE && r.name.name.empty() && r.name.id == VERSION_RESOURCE_ID &&
                   !summary->hasVersion) {
            summary->hasVersion = true;
            if (!ReadVersionResource(r.data, &summary->version, error))
                return false;
        } else if (r.type.id == RT_MANIFEST_TYPE && r.name.name.empty() && r.name.id == MANIFEST_RESOURCE_ID &&
                   !summary->hasManifest) {
            summary->hasManifest = true;
            summary->manifest.assign(r.data.begin(), r.data.end());
        } else if (r.type.id == RT_STRING_TYPE && r.name.name.empty() &&
                   r.name.id == IDS_CAPTION / STRINGS_PER_BLOCK + 1) {
            summary->languages.push_back(r.language);
            std::vector<std::u16string> strings;
            if (r.language == RESOURCE_LANGUAGE && ReadStringBlock(r.data, &strings, error))
                summary->caption = Utf16ToUtf8(strings[IDS_CAPTION]);
            else if (r.language == RESOURCE_LANGUAGE)
                return false;
        }
    }
    return true;
}

}  // namespace sfxpack
