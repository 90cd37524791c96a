// The options for the package's own icon, version information and manifest,
// turned into the resources that replace the launcher's.
#include "sfxpack/common/codepage.h"
#include "sfxpack/common/files.h"
#include "sfxpack/pe/manifest.h"
#include "sfxpack/pe/resource_edit.h"
#include "sfxpack/pe/version_info.h"
#include "sfxpack/texts/launcher_texts.h"
#include "sfxpack/texts/translation.h"
#include "sfxpack/write/create.h"

#include <algorithm>
#include <filesystem>

namespace sfxpack {

namespace {

bool Fail(std::string *error, const std::string &why)
{
    *error = why;
    return false;
}

bool BuildVersion(const CreateOptions &options, Bytes *data, std::string *error)
{
    VersionInfo info;
    std::string why;
    if (!options.fileVersion.empty() && !ParseVersionNumber(options.fileVersion, info.fileVersion, &why))
        return Fail(error, "--file-version: " + why);
    if (!options.productVersion.empty() && !ParseVersionNumber(options.productVersion, info.productVersion, &why))
        return Fail(error, "--product-version: " + why);
    if (options.fileVersion.empty())
        std::copy(info.productVersion, info.productVersion + 4, info.fileVersion);
    if (options.productVersion.empty())
        std::copy(info.fileVersion, info.fileVersion + 4, info.productVersion);

    // The defaults, in the usual order of the keys; the title only when set.
    auto &strings = info.strings;
    if (!options.productTitle.empty())
        strings.emplace_back("FileDescription", options.productTitle);
    strings.emplace_back("FileVersion", VersionText(info.fileVersion));
    strings.emplace_back("OriginalFilename", std::filesystem::u8path(options.outputPath).filename().u8string());
    if (!options.productTitle.empty())
        strings.emplace_back("ProductName", options.productTitle);
    strings.emplace_back("ProductVersion", VersionText(info.productVersion));
    size_t defaults = strings.size();
    for (const auto &[key, value] : options.versionStrings) {
        size_t i = 0;
        while (i < strings.size() && !SameVersionKey(strings[i].first, key))
            i++;
        if (i < defaults)
            strings[i] = {key, value};
        else if (i < strings.size())
            return Fail(error, "--version-string: " + key + " is given twice");
        else
            strings.emplace_back(key, value);
    }
    // Its faults name the pair as the user gave it.
    if (!BuildVersionResource(info, data, &why))
        return Fail(error, why);
    return true;
}

// The caption is shown in UTF-16 only (message boxes and window captions,
// never the log), so any character will do but a control character.
bool BuildCaption(const std::string &caption, std::u16string *wide, std::string *error)
{
    std::string why;
    if (!Utf8ToUtf16(caption, wide, &why))
        return Fail(error, "--caption: " + why);
    if (wide->empty())
        return Fail(error, "--caption: the caption is empty");
    if (wide->size() > MAX_TEXT_UNITS)
        return Fail(error, "--caption: longer than the launcher's 127 characters (" + std::to_string(wide->size()) +
                               ")");
    for (char16_t c : *wide)
        if (c < 0x20)
            return Fail(error, "--caption: a control character");
    return true;
}

bool BuildLanguages(const std::vector<std::string> &paths, std::vector<LauncherLanguage> *languages,
                    std::string *error)
{
    for (const std::string &path : paths) {
        Translation translation;
        if (!ReadTranslation(path, &translation, error))
            return false;
        for (size_t i = 0; i < languages->size(); i++)
            if ((*languages)[i].language == translation.language.id)
                return Fail(error, path + ": " + paths[i] + " is a translation into the same language (" +
                                       LanguageTag(translation.language.id) + ")");
        LauncherLanguage language;
        language.language = translation.language.id;
        const std::vector<LauncherText> &originals = LauncherTexts();
        for (size_t i = 0; i < originals.size(); i++) {
            const std::u16string &text = translation.texts[i];
            switch (originals[i].place) {
            case TextPlace::String: language.strings.push_back(text); break;
            case TextPlace::DialogCaption: language.dialogCaption = text; break;
            case TextPlace::ProgressText: language.progressText = text; break;
            case TextPlace::PasswordPrompt: language.passwordPrompt = text; break;
            case TextPlace::OkButton: language.okButton = text; break;
            }
        }
        languages->push_back(language);
    }
    return true;
}

}  // namespace

bool ApplyResourceOptions(const CreateOptions &options, Bytes *stub, bool *rebuilt, std::string *error)
{
    *rebuilt = false;
    ResourceChanges changes;
    std::string why;
    if (!options.iconPath.empty()) {
        Bytes icon;
        if (!ReadFileBytes(options.iconPath, &icon, error))
            return false;
        if (!ReadIconFile(icon, &changes.icons, &why))
            return Fail(error, options.iconPath + ": " + why);
    }
    if ((!options.fileVersion.empty() || !options.productVersion.empty() || !options.versionStrings.empty()) &&
        !BuildVersion(options, &changes.version, error))
        return false;
    if (!options.executionLevel.empty() && !ManifestForLevel(options.executionLevel, &changes.manifest, &why))
        return Fail(error, "--execution-level: " + why);
    if (!options.manifestPath.empty()) {
        Bytes manifest;
        if (!ReadFileBytes(options.manifestPath, &manifest, error))
            return false;
        changes.manifest.assign(manifest.begin(), manifest.end());
        if (!CheckManifest(changes.manifest, &why))
            return Fail(error, options.manifestPath + ": " + why);
    }
    if (!options.caption.empty() && !BuildCaption(options.caption, &changes.caption, error))
        return false;
    if (!BuildLanguages(options.languagePaths, &changes.languages, error))
        return false;
    if (!changes.Any())
        return true;
    Bytes out;
    if (!EditResources(*stub, changes, &out, &why))
        return Fail(error, options.stubPath + ": its resources cannot be rebuilt: " + why);
    *stub = std::move(out);
    *rebuilt = true;
    return true;
}

}  // namespace sfxpack
