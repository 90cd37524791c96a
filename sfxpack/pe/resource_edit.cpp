// The launcher's resource tree read, changed and laid out again; the image
// around it is rebuilt by ReplaceResourceSection.
#include "sfxpack/pe/resource_edit.h"

#include <algorithm>
#include <set>

#include "resources/resource.h"
#include "sfxpack/pe/dialog_template.h"
#include "sfxpack/pe/pe_image.h"
#include "sfxpack/pe/resource_tree.h"
#include "sfxpack/pe/string_table.h"

namespace sfxpack {

namespace {

const uint16_t OK_BUTTON_ID = 1;  // IDOK
const char16_t TRANSLATED_FONT[] = u"MS Shell Dlg";

bool IsId(const ResourceKey &key, uint16_t id)
{
    return key.name.empty() && key.id == id;
}

Resource Make(uint16_t type, uint16_t name, uint16_t language, Bytes data)
{
    Resource resource;
    resource.type.id = type;
    resource.name.id = name;
    resource.language = language;
    resource.data = std::move(data);
    return resource;
}

// Every language of `type` `name` replaced by one resource holding `data`.
void Replace(std::vector<Resource> *resources, uint16_t type, uint16_t name, const Bytes &data)
{
    resources->erase(std::remove_if(resources->begin(), resources->end(),
                                    [&](const Resource &r) { return IsId(r.type, type) && IsId(r.name, name); }),
                     resources->end());
    resources->push_back(Make(type, name, RESOURCE_LANGUAGE, data));
}

bool ReplaceIcons(std::vector<Resource> *resources, std::vector<IconImage> images, std::string *error)
{
    const uint16_t groups[2] = {IDI_PROGRAM, IDI_PACKAGE};
    uint16_t languages[2] = {RESOURCE_LANGUAGE, RESOURCE_LANGUAGE};
    auto Replaced = [&](const Resource &r) {
        return IsId(r.type, RT_GROUP_ICON_TYPE) && (IsId(r.name, groups[0]) || IsId(r.name, groups[1]));
    };
    // Images listed by the groups replaced, and by the groups kept.
    std::set<uint16_t> dropped, kept;
    for (const Resource &r : *resources) {
        if (!IsId(r.type, RT_GROUP_ICON_TYPE))
            continue;
        std::vector<IconImage> listed;
        if (!ReadIconGroup(r.data, &listed, error))
            return false;
        for (const IconImage &image : listed)
            (Replaced(r) ? dropped : kept).insert(image.id);
        for (int i = 0; i < 2; i++)
            if (IsId(r.name, groups[i]))
                languages[i] = r.language;
    }
    resources->erase(std::remove_if(resources->begin(), resources->end(),
                                    [&](const Resource &r) {
                                        return Replaced(r) || (IsId(r.type, RT_ICON_TYPE) && r.name.name.empty() &&
                                                               dropped.count(r.name.id) && !kept.count(r.name.id));
                                    }),
                     resources->end());
    std::set<uint16_t> used;
    for (const Resource &r : *resources)
        if (IsId(r.type, RT_ICON_TYPE) && r.name.name.empty())
            used.insert(r.name.id);
    uint32_t id = 1;
    for (IconImage &image : images) {
        while (used.count(uint16_t(id)))
            id++;
        if (id > 0xFFFF) {
            *error = "no free icon ids are left";
            return false;
        }
        image.id = uint16_t(id++);
        resources->push_back(Make(RT_ICON_TYPE, image.id, languages[0], image.data));
    }
    for (int i = 0; i < 2; i++)
        resources->push_back(Make(RT_GROUP_ICON_TYPE, groups[i], languages[i], IconGroupData(images)));
    return true;
}

// The US English resource `type` `name`, which the launcher always has.
Resource *FindEnglish(std::vector<Resource> *resources, uint16_t type, uint16_t name, std::string *error)
{
    for (Resource &r : *resources)
        if (IsId(r.type, type) && IsId(r.name, name) && r.language == RESOURCE_LANGUAGE)
            return &r;
    *error = "no US English resource " + std::to_string(name) + " of type " + std::to_string(type);
    return nullptr;
}

// The English string block and dialogs with the caption; then a copy of each
// in every language, with its texts.
bool ApplyTexts(std::vector<Resource> *resources, const ResourceChanges &changes, std::string *error)
{
    const uint16_t block = IDS_CAPTION / STRINGS_PER_BLOCK + 1;
    Resource *strings = FindEnglish(resources, RT_STRING_TYPE, block, error);
    Resource *progress = FindEnglish(resources, RT_DIALOG_TYPE, IDD_PROGRESS, error);
    Resource *password = FindEnglish(resources, RT_DIALOG_TYPE, IDD_PASSWORD, error);
    std::vector<std::u16string> english;
    DialogTemplate progressDialog, passwordDialog;
    if (!strings || !progress || !password || !ReadStringBlock(strings->data, &english, error) ||
        !ReadDialogTemplate(progress->data, &progressDialog, error) ||
        !ReadDialogTemplate(password->data, &passwordDialog, error))
        return false;
    if (!changes.caption.empty()) {
        english[IDS_CAPTION] = changes.caption;
        progressDialog.caption = passwordDialog.caption = changes.caption;
        strings->data = BuildStringBlock(english);
        progress->data = BuildDialogTemplate(progressDialog);
        password->data = BuildDialogTemplate(passwordDialog);
    }
    for (const LauncherLanguage &language : changes.languages) {
        std::vector<std::u16string> texts = english;
        for (size_t i = 0; i < language.strings.size(); i++)
            texts[IDS_CAPTION + i] = language.strings[i];
        DialogTemplate progressText = progressDialog, passwordText = passwordDialog;
        progressText.caption = passwordText.caption = language.dialogCaption;
        // The logical face that each system maps to its own interface font,
        // one that holds the script of its language: "MS Sans Serif" holds
        // no Greek, Cyrillic or CJK on a system in another language.
        progressText.font = passwordText.font = TRANSLATED_FONT;
        if (!changes.caption.empty()) {
            texts[IDS_CAPTION] = changes.caption;
            progressText.caption = passwordText.caption = changes.caption;
        }
        if (!SetItemText(&progressText, IDC_STATUSTEXT, language.progressText) ||
            !SetItemText(&passwordText, IDC_STATUSTEXT, language.passwordPrompt) ||
            !SetItemText(&passwordText, OK_BUTTON_ID, language.okButton)) {
            *error = "a dialog lacks one of its texts";
            return false;
        }
        resources->push_back(Make(RT_STRING_TYPE, block, language.language, BuildStringBlock(texts)));
        resources->push_back(Make(RT_DIALOG_TYPE, IDD_PROGRESS, language.language, BuildDialogTemplate(progressText)));
        resources->push_back(Make(RT_DIALOG_TYPE, IDD_PASSWORD, language.language, BuildDialogTemplate(passwordText)));
    }
    return true;
}

}  // namespace

bool EditResources(const Bytes &stub, const ResourceChanges &changes, Bytes *out, std::string *error)
{
    PeImage image;
    uint32_t rva;
    std::vector<Resource> resources;
    if (!ReadImageResources(stub, &image, &rva, &resources, error))
        return false;
    if (!changes.icons.empty() && !ReplaceIcons(&resources, changes.icons, error))
        return false;
    if (!changes.version.empty())
        Replace(&resources, RT_VERSION_TYPE, VERSION_RESOURCE_ID, changes.version);
    if (!changes.manifest.empty())
        Replace(&resources, RT_MANIFEST_TYPE, MANIFEST_RESOURCE_ID,
                Bytes(changes.manifest.begin(), changes.manifest.end()));
    if ((!changes.caption.empty() || !changes.languages.empty()) && !ApplyTexts(&resources, changes, error))
        return false;
    return ReplaceResourceSection(stub, image, LayOutResourceTree(resources, rva), out, error);
}

}  // namespace sfxpack
