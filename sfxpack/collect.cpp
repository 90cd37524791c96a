// Collects a folder into package entries, refusing, with the file's name,
// everything that the launcher could not extract as it was meant.
#include "sfxpack/writer.h"
#include "package/names.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <system_error>

namespace fs = std::filesystem;

namespace sfxpack {

namespace {

struct Found {
    std::string path;      // as the user sees it
    std::string relative;  // UTF-8, '/' separators
    std::string stored;    // prefix and relative path in the code page, backslashes
    int64_t size = 0;
    int64_t modified = 0;
};

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

std::string AsciiLower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

bool Stat(const fs::path &path, int64_t *size, int64_t *modified)
{
#ifdef _WIN32
    struct _stat64 info;
    if (_wstat64(path.wstring().c_str(), &info) != 0)
        return false;
#else
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return false;
#endif
    *size = info.st_size;
    *modified = info.st_mtime;
    return true;
}

bool Refuse(std::string *error, const std::string &path, const std::string &why)
{
    *error = path + ": " + why;
    return false;
}

// Lists the regular files below `directory` with sizes and times.
bool Walk(const std::string &directory, std::vector<Found> *found, std::string *error)
{
    fs::path root = fs::u8path(directory);
    std::error_code failure;
    if (!fs::is_directory(root, failure))
        return Refuse(error, directory, "not a directory");
    fs::recursive_directory_iterator it(root, failure), end;
    for (; !failure && it != end; it.increment(failure)) {
        std::string path = it->path().u8string();
        fs::file_status status = it->symlink_status(failure);
        if (failure)
            break;
        if (fs::is_directory(status))
            continue;
        if (!fs::is_regular_file(status))
            return Refuse(error, path, "not a regular file or directory");
        Found file;
        file.path = path;
        file.relative = it->path().lexically_relative(root).generic_u8string();
        if (!Stat(it->path(), &file.size, &file.modified))
            return Refuse(error, path, "cannot read its size and time");
        found->push_back(file);
    }
    if (failure)
        return Refuse(error, directory, failure.message());
    if (found->empty())
        return Refuse(error, directory, "no files to pack");
    return true;
}

bool CheckName(Found *file, const std::string &ansiPrefix, int codePage, std::vector<std::string> *warnings,
               std::string *error)
{
    if (file->size == 0)
        return Refuse(error, file->path, "the file is empty; the launcher cannot store a file of 0 bytes");
    if (file->size > INT32_MAX)
        return Refuse(error, file->path, "the file is " + std::to_string(file->size) +
                                             " bytes; the launcher stores files below 2 GiB only");
    if (HasParentComponent(file->relative))
        return Refuse(error, file->path, "the name has a '..' component");
    std::string bad = ForbiddenCharacter(file->relative);
    if (!bad.empty())
        return Refuse(error, file->path, "the name holds '" + bad + "', which Windows does not allow in file names");

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
    if (converted.size() > LAUNCHER_PATH_MAX - WORKING_DIR_RESERVE)
        warnings->push_back(file->path + ": " + std::to_string(converted.size()) +
                            " bytes of path below the working directory leave fewer than " +
                            std::to_string(WORKING_DIR_RESERVE) + " of the launcher's " +
                            std::to_string(LAUNCHER_PATH_MAX) + " for the working directory");
    return true;
}

}  // namespace

bool CollectEntries(const std::string &directory, const std::string &ansiPrefix, int codePage,
                    int64_t payloadOffset, std::vector<Entry> *entries, std::vector<std::string> *warnings,
                    std::string *error)
{
    std::vector<Found> found;
    if (!Walk(directory, &found, error))
        return false;
    std::sort(found.begin(), found.end(),
              [](const Found &a, const Found &b) { return a.relative < b.relative; });
    for (Found &file : found)
        if (!CheckName(&file, ansiPrefix, codePage, warnings, error))
            return false;
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) { return a.stored < b.stored; });

    // Windows folds at least ASCII case, at every level of a name: two files
    // that differ only in case would land on one, and a file cannot stand
    // beside a folder of its name. Folders that differ only in case merge.
    struct Level {
        std::string spelling;
        const Found *file;  // the file of this name, or one below this folder
        bool isFile;
    };
    std::map<std::string, Level> levels;
    for (const Found &file : found) {
        for (size_t end = file.relative.find('/');; end = file.relative.find('/', end + 1)) {
            bool isFile = end == std::string::npos;
            std::string spelling = file.relative.substr(0, end);
            auto inserted = levels.emplace(AsciiLower(spelling), Level{spelling, &file, isFile});
            const Level &before = inserted.first->second;
            if (!inserted.second && isFile && before.isFile)
                return Refuse(error, before.file->path + " and " + file.path,
                              "the names differ only in case, and Windows would write one over the other");
            if (!inserted.second && isFile != before.isFile) {
                // The folder's own path is that of a file below it, cut.
                const Found *below = isFile ? before.file : &file;
                const std::string &folder = isFile ? before.spelling : spelling;
                std::string folderPath =
                    below->path.substr(0, below->path.size() - below->relative.size() + folder.size());
                return Refuse(error, (isFile ? file.path : before.file->path) + " and " + folderPath,
                              "a file and a folder whose names differ only in case, which Windows cannot hold "
                              "side by side");
            }
            if (isFile)
                break;
        }
    }

    // Sizes first, so that an oversized package is refused before any read.
    int64_t length = payloadOffset;
    for (const Found &file : found) {
        length += ENTRY_FIXED_BYTES + int64_t(file.stored.size()) + file.size;
        if (length > INT32_MAX)
            return Refuse(error, file.path, "with this file the package would pass 2 GiB (" +
                                                std::to_string(length) + " bytes)");
    }

    std::vector<Entry> result;
    for (const Found &file : found) {
        Entry entry;
        entry.name = file.stored;
        entry.dosDateTime = DosDateTimeFromUnix(file.modified);
        if (!ReadFileBytes(file.path, &entry.data, error))
            return false;
        if (int64_t(entry.data.size()) != file.size)
            return Refuse(error, file.path, "the file changed while it was read");
        result.push_back(std::move(entry));
    }
    *entries = std::move(result);
    return true;
}

}  // namespace sfxpack
