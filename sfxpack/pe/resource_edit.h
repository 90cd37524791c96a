// Replacing a launcher's icons, version information and manifest: its
// resource section rebuilt with everything else kept byte for byte.
#ifndef SFXPACK_PE_RESOURCE_EDIT_H
#define SFXPACK_PE_RESOURCE_EDIT_H

#include <string>
#include <vector>

#include "sfxpack/common/bytes.h"
#include "sfxpack/pe/icon_file.h"

namespace sfxpack {

// New resources are stored in the language of all the launcher's own, US
// English (1033), so that each has one language, found whatever the user's.
enum { RESOURCE_LANGUAGE = 1033, VERSION_RESOURCE_ID = 1, MANIFEST_RESOURCE_ID = 1 };

// The launcher's texts in one more language: a block of its string table and
// its two windows, made from the US English ones with these texts.
struct LauncherLanguage {
    uint16_t language = 0;
    std::vector<std::u16string> strings;  // ids 1 to 10
    std::u16string dialogCaption, progressText, passwordPrompt, okButton;
};

// What to replace; an empty member leaves that part as it is.
struct ResourceChanges {
    std::vector<IconImage> icons;  // both icon groups: the shell's and the windows'
    Bytes version;                 // the RT_VERSION resource's data
    std::string manifest;          // the application manifest (XML)
    // String 1 and both windows' captions, in every language.
    std::u16string caption;
    std::vector<LauncherLanguage> languages;

    bool Any() const
    {
        return !icons.empty() || !version.empty() || !manifest.empty() || !caption.empty() || !languages.empty();
    }
};

// `stub` with `changes` made. The icon groups replaced keep their language
// (1033 when new) and share one set of images; icon images that no group
// lists any more are dropped, and the new ones take the lowest free ids.
bool EditResources(const Bytes &stub, const ResourceChanges &changes, Bytes *out, std::string *error);

}  // namespace sfxpack

#endif
