// Collects a folder into package entries, refusing, with the file's name,
// everything that the launcher could not extract as it was meant.
#include "sfxpack/common/codepage.h"
#include "sfxpack/common/dostime.h"
#include "sfxpack/read/entry_name.h"
#include "sfxpack/common/name_clash.h"
#include "sfxpack/write/create.h"
#include "sfxpack/write/walk.h"
#include "package/names.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace sfxpack {

namespace {

// The first character of `relative` that Windows refuses in a file name, or
// an empty string. '/' is the separator here; a '\' inside a name would be
// taken for one by the launcher.
std::string ForbiddenCharacter(const std::string &relative)
{
    for (unsigned char c : relative) {
        if (c < 0x20) {
            char text[8];
            std::snprintf(text, sizeof text, "\\x%02X", c);
            return text;
        }
        if (std::string("\\:*?\"<>|").find(char(c)) != std::string::npos)
            return std::string(1, char(c));
    }
    return "";
}

bool HasParentComponent(const std::string &relative)
{
    size_t start = 0;
    for (;;) {
        size_t end = relative.find_first_of("/\\", start);
        if (ClimbsUp(relative.data() + start, relative.data() + (end == std::string::npos ? relative.size() : end)))
            return true;
        if (end == std::string::npos)
            return false;
        start = end + 1;
    }
}

bool Refuse(std::string *error, const std::string &path, const std::string &why)
{
    *error = path + ": " + why;
    return false;
}

// The first component of `relative` that ends in a dot or a blank, which
// Windows drops from a name, or an empty string.
std::string DroppedEnding(const std::string &relative)
{
    for (size_t start = 0, end;; start = end + 1) {
        end = relative.find('/', start);
        std::string component = relative.substr(start, end == std::string::npos ? end : end - start);
        if (!component.empty() && (component.back() == '.' || component.back() == ' '))
            return component;
        if (end == std::string::npos)
            return "";
    }
}

// "A", "A and B", "A, B and C".
std::string JoinPaths(const std::vector<std::string> &paths)
{
    std::string text;
    for (size_t i = 0; i < paths.size(); i++)
        text += (i == 0 ? "" : i + 1 == paths.size() ? " and " : ", ") + paths[i];
    return text;
}

// The format cannot store a file of 0 bytes: all of them are named in one
// refusal, or left out with a warning each.
bool SetEmptyFilesAside(std::vector<Found> *found, bool skipEmpty, std::vector<std::string> *warnings,
                        std::string *error)
{
    std::vector<std::string> empty;
    for (const Found &file : *found)
        if (file.size == 0)
            empty.push_back(file.path);
    if (empty.empty())
        return true;
    if (!skipEmpty)
        return Refuse(error, JoinPaths(empty),
                      empty.size() == 1
                          ? "the file is empty; the launcher cannot store a file of 0 bytes (--skip-empty leaves it out)"
                          : "the files are empty; the launcher cannot store a file of 0 bytes (--skip-empty leaves "
                            "them out)");
    for (const std::string &path : empty)
        warnings->push_back(path + ": the file is empty; left out (--skip-empty)");
    found->erase(std::remove_if(found->begin(), found->end(), [](const Found &file) { return file.size == 0; }),
                 found->end());
    return true;
}

bool CheckName(Found *file, const std::string &ansiPrefix, int codePage, std::vector<std::string> *warnings,
               std::string *error)
{
    if (file->size > INT32_MAX)
        return Refuse(error, file->path, "the file is " + std::to_string(file->size) +
                                             " bytes; the launcher stores files below 2 GiB only");
    // A name the build machine's file system holds in another encoding:
    // shown escaped, with the offset of its first bad byte in what is shown.
    size_t valid = 0;
    for (uint32_t c; valid < file->path.size() && DecodeUtf8(file->path, &valid, &c);) {
    }
    if (valid < file->path.size())
        return Refuse(error, EscapeForMessage(file->path),
                      "the name is not valid UTF-8 (byte " + std::to_string(valid) + ")");
    if (HasParentComponent(file->relative))
        return Refuse(error, file->path, "the name has a '..' component");
    std::string bad = ForbiddenCharacter(file->relative);
    if (!bad.empty())
        return Refuse(error, file->path, "the name holds '" + bad + "', which Windows does not allow in file names");
    // Windows would store such a component without its ending, under
    // another name, perhaps one that is already taken.
    std::string dropped = DroppedEnding(file->relative);
    if (!dropped.empty())
        return Refuse(error, file->path, "the name has a component ending in a dot or a blank ('" + dropped +
                                             "'), which Windows drops");

    std::string windowsName = file->relative, converted, why;
    std::replace(windowsName.begin(), windowsName.end(), '/', '\\');
    if (!Utf8ToCodePage(windowsName, codePage, &converted, &why))
        return Refuse(error, file->path, "the name cannot be written in code page " + std::to_string(codePage) +
                                             ": " + why);
    // The launcher's own rules, on the bytes it will read. The relative path
    // comes from a real folder, so it has no empty component; the check
    // makes sure that the joining never writes one either.
    Bytes leadBytes = LeadByteRanges(codePage);
    NameFault fault = FindNameFault(converted.c_str(), leadBytes.data(), 1);
    if (fault == NAME_DEVICE)
        return Refuse(error, file->path, "the name has a component that Windows takes for a device "
                                         "(CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9 and the like)");
    if (fault == NAME_EMPTY_COMPONENT)
        return Refuse(error, file->path, "the name has an empty component");
    if (fault != NAME_ACCEPTED)
        return Refuse(error, file->path, "the launcher would refuse the name");
    file->stored = ansiPrefix + converted;
    if (file->stored.size() > ENTRY_NAME_MAX)
        return Refuse(error, file->path, "the stored name is " + std::to_string(file->stored.size()) +
                                             " bytes, more than " + std::to_string(ENTRY_NAME_MAX));
    if (!FitsWorkingFolder(converted.size(), &why))
        return Refuse(error, file->path, why);
    if (converted.size() > LAUNCHER_PATH_BYTES - WORKING_DIR_RESERVE)
        warnings->push_back(file->path + ": " + std::to_string(converted.size()) +
                            " bytes of path below the working directory leave fewer than " +
                            std::to_string(WORKING_DIR_RESERVE) + " of the launcher's " +
                            std::to_string(LAUNCHER_PATH_BYTES) + " for the working directory");
    return true;
}

// The path of `file` down to its `depth`-th component, as the user sees it.
std::string LevelPath(const Found &file, size_t depth)
{
    size_t end = 0;
    for (size_t i = 0; i < depth; i++) {
        end = file.relative.find('/', i == 0 ? 0 : end + 1);
        if (end == std::string::npos) {
            end = file.relative.size();
            break;
        }
    }
    return file.path.substr(0, file.path.size() - file.relative.size() + end);
}

// Windows compares names blind to case, at every level of a path, and may
// know a long name by a short one: two such files would land on one, and a
// file cannot stand beside a folder of its name. Folders that differ only in
// case merge. The names are compared as the launcher's system reads the
// stored bytes.
bool RefuseNameClashes(const std::vector<Found> &found, size_t prefixBytes, int codePage, std::string *error)
{
    NameClashes names;
    for (size_t i = 0; i < found.size(); i++) {
        const Found &file = found[i];
        std::string readBack;
        if (!CodePageToUtf8(file.stored.substr(prefixBytes), codePage, &readBack, error))
            return Refuse(error, file.path, *error);
        std::vector<std::string> components;
        for (size_t start = 0, end;; start = end + 1) {
            end = readBack.find('\\', start);
            components.push_back(readBack.substr(start, end - start));
            if (end == std::string::npos)
                break;
        }
        NameClash clash;
        if (!names.Add(components, i, &clash, error))
            return false;
        const Found &before = found[clash.earlier];
        if (clash.kind == NameClash::FILE_AND_FOLDER) {
            const Found &fileEntry = clash.fileFirst ? before : file;
            const Found &below = clash.fileFirst ? file : before;
            return Refuse(error, LevelPath(fileEntry, clash.depth) + " and " + LevelPath(below, clash.depth),
                          "a file and a folder whose names differ only in case, which Windows cannot hold "
                          "side by side");
        }
        if (clash.kind == NameClash::SHORT_NAME)
            return Refuse(error, LevelPath(before, clash.depth) + " and " + LevelPath(file, clash.depth),
                          "one name is of the form of a short (8.3) name that Windows may give the other, and "
                          "Windows would write one over the other");
        if (clash.kind != NameClash::NONE)
            return Refuse(error, before.path + " and " + file.path,
                          "the names differ only in case, and Windows would write one over the other");
    }
    return true;
}

}  // namespace

bool CollectEntries(const CreateOptions &options, const std::string &ansiPrefix, int64_t payloadOffset,
                    std::vector<Entry> *entries, std::vector<std::string> *warnings, std::string *error)
{
    WalkRequest request;
    request.directory = options.directory;
    request.followLinks = options.followLinks;
    request.skipEmpty = options.skipEmpty;
    request.payloadOffset = payloadOffset;
    request.prefixBytes = ansiPrefix.size();
    request.outputPath = options.outputPath;
    std::vector<Found> found;
    // A walk that stopped early has found files past 2 GiB, counted at their
    // least: the checks below refuse what it found, the size check at the
    // latest.
    if (!WalkTree(request, &found, warnings, error))
        return false;
    std::sort(found.begin(), found.end(),
              [](const Found &a, const Found &b) { return a.relative < b.relative; });
    if (!SetEmptyFilesAside(&found, options.skipEmpty, warnings, error))
        return false;
    if (found.empty())
        return Refuse(error, options.directory, "no files to pack");
    for (Found &file : found)
        if (!CheckName(&file, ansiPrefix, options.codePage, warnings, error))
            return false;
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) { return a.stored < b.stored; });

    if (!RefuseNameClashes(found, ansiPrefix.size(), options.codePage, error))
        return false;

    // Sizes first, so that an oversized package is refused before any read.
    int64_t length = payloadOffset;
    for (const Found &file : found) {
        length += ENTRY_FIXED_BYTES + int64_t(file.stored.size()) + file.size;
        if (length > INT32_MAX)
            return Refuse(error, file.path, "with this file the package would pass 2 GiB (" +
                                                std::to_string(length) + " bytes)");
    }

    std::vector<Entry> result(found.size());
    for (size_t i = 0; i < found.size(); i++) {
        result[i].name = found[i].stored;
        result[i].dosDateTime = DosDateTimeFromUnix(found[i].modified);
        result[i].sourcePath = found[i].path;
        result[i].sourceSize = found[i].size;
    }
    *entries = std::move(result);
    return true;
}

}  // namespace sfxpack
