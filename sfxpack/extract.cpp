#include "sfxpack/extract.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sfxpack/integrity.h"

namespace sfxpack {

namespace {

// The name rules, kept in this one place: why the launcher, or Windows
// under it, would refuse a component of the path below the working folder
// (ANSI bytes, separators excluded), or "" when it is taken.
std::string RefusedComponent(const std::string &component, const bool lead[256])
{
    for (size_t i = 0; i < component.size(); i++) {
        unsigned char c = component[i];
        if (lead[c]) {
            i++;  // its trail byte may have any value
            continue;
        }
        if (c < 0x20) {
            char text[8];
            std::snprintf(text, sizeof text, "\\x%02X", c);
            return std::string("it holds the control character ") + text;
        }
        if (std::strchr(":*?\"<>|", c))
            return std::string("it holds '") + char(c) + "', which Windows does not allow in file names";
    }
    // Windows drops trailing dots and blanks: ". .", "..." and ".. " climb
    // like "..".
    size_t dots = 0, other = 0;
    for (char c : component) {
        if (c == '.')
            dots++;
        else if (c != ' ')
            other++;
    }
    if (!other && dots >= 2)
        return "it has a '..' component";
    // A device name opens the device in any folder, with any extension.
    static const char *const devices[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                          "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                          "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9", "CONIN$", "CONOUT$"};
    std::string stem = component.substr(0, component.find('.'));
    stem.erase(stem.find_last_not_of(' ') + 1);
    for (char &c : stem)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    for (const char *device : devices)
        if (stem == device)
            return "it names the device " + stem;
    return "";
}

// Byte offsets where the characters of `text` start, walked as CharNextA
// walks: a lead byte and the byte after it form one character.
std::vector<size_t> CharacterStarts(const std::string &text, const bool lead[256])
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); i += lead[static_cast<unsigned char>(text[i])] && i + 1 < text.size() ? 2 : 1)
        starts.push_back(i);
    return starts;
}

bool DosTimeToUnix(uint32_t dosDateTime, time_t *unixTime)
{
    unsigned date = dosDateTime & 0xFFFF, time = dosDateTime >> 16;
    std::tm local{};
    local.tm_year = 80 + int(date >> 9);
    local.tm_mon = int((date >> 5) & 15) - 1;
    local.tm_mday = int(date & 31);
    local.tm_hour = int(time >> 11);
    local.tm_min = int((time >> 5) & 63);
    local.tm_sec = int(time & 31) * 2;
    local.tm_isdst = -1;
    static const int days[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = 1900 + local.tm_year;
    bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_mday > days[local.tm_mon] ||
        (local.tm_mon == 1 && local.tm_mday == 29 && !leap) || local.tm_hour > 23 || local.tm_min > 59 ||
        local.tm_sec > 59)
        return false;
    *unixTime = std::mktime(&local);
    return true;
}

// A folder below `parent`, made when missing and opened without following a
// link. The descriptor, or -1 with `error` set.
int OpenFolder(int parent, const std::string &name, const std::string &shown, std::string *error)
{
    if (mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
        *error = shown + ": " + std::strerror(errno);
        return -1;
    }
    int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        *error = shown + ": " +
                 (errno == ELOOP || errno == ENOTDIR ? "not a folder (a link or a file is in the way)"
                                                     : std::strerror(errno));
    return fd;
}

bool IsEmptyFolder(int fd)
{
    int copy = dup(fd);
    DIR *dir = copy < 0 ? nullptr : fdopendir(copy);
    if (!dir) {
        if (copy >= 0)
            close(copy);
        return false;
    }
    bool empty = true;
    while (dirent *entry = readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            empty = false;
    closedir(dir);
    return empty;
}

// Writes one entry below `root`; on any failure after the file was made,
// the file is removed again.
bool WriteEntry(Source &file, Source &recordFile, const IntegrityRecord *record, const ParsedEntry &entry,
                int32_t index, const std::vector<std::string> &components, int root, const std::string &shownRoot,
                std::string *error)
{
    int parent = root;
    std::string shown = shownRoot;
    bool ok = true;
    for (size_t i = 0; ok && i + 1 < components.size(); i++) {
        shown += "/" + components[i];
        int next = OpenFolder(parent, components[i], shown, error);
        if (parent != root)
            close(parent);
        parent = next;
        ok = next >= 0;
    }
    if (!ok)
        return false;
    const std::string &fileName = components.back();
    shown += "/" + fileName;
    // The launcher overwrites a file that is there; made afresh here, so that
    // nothing is written through a link or into another name's data.
    struct stat there;
    if (fstatat(parent, fileName.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(there.st_mode) || unlinkat(parent, fileName.c_str(), 0) != 0) {
            *error = shown + ": " + (S_ISDIR(there.st_mode) ? "a folder is in the way" : std::strerror(errno));
            ok = false;
        }
    }
    int out = ok ? openat(parent, fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666) : -1;
    if (ok && out < 0) {
        *error = shown + ": " + std::strerror(errno);
        ok = false;
    }
    uint32_t computed = 0, stored = 0;
    if (ok) {
        ok = ReadEntryBytes(
            file, entry,
            [&](const unsigned char *data, size_t length, std::string *failure) {
                while (length > 0) {
                    ssize_t put = write(out, data, length);
                    if (put < 0 && errno == EINTR)
                        continue;
                    if (put <= 0) {
                        *failure = shown + ": " + std::strerror(put < 0 ? errno : ENOSPC);
                        return false;
                    }
                    data += put;
                    length -= size_t(put);
                }
                return true;
            },
            &computed, error);
        if (ok && record && (!ReadEntryCrc(recordFile, *record, index, &stored, error) || computed != stored)) {
            if (computed != stored)
                *error = EntryCrcFault(entry, stored, computed);
            ok = false;
        }
        time_t when;
        if (ok && DosTimeToUnix(entry.dosDateTime, &when)) {
            struct timespec times[2] = {{when, 0}, {when, 0}};
            futimens(out, times);
        }
        if (close(out) != 0 && ok) {
            *error = shown + ": " + std::strerror(errno);
            ok = false;
        }
        if (!ok)
            unlinkat(parent, fileName.c_str(), 0);
    }
    if (parent != root)
        close(parent);
    return ok;
}

}  // namespace

bool DestinationComponents(const std::string &name, const std::string &sourcePrefix, int codePage,
                           const bool lead[256], std::vector<std::string> *components, std::string *why)
{
    // The last backslash, searched backwards as the launcher does: the first
    // character is looked at only when it is the whole name.
    std::vector<size_t> starts = CharacterStarts(name, lead);
    size_t split = std::string::npos;
    for (size_t k = starts.size(); k-- > 0;) {
        if (k == 0 && starts.size() > 1)
            break;
        if (name[starts[k]] == '\\' && !lead[static_cast<unsigned char>(name[starts[k]])]) {
            split = starts[k];
            break;
        }
    }
    size_t dirLength = split == std::string::npos ? 0 : split + 1;
    if (dirLength < sourcePrefix.size()) {
        *why = "its folder part is " + std::to_string(dirLength) + " bytes, shorter than the source prefix of " +
               std::to_string(sourcePrefix.size());
        return false;
    }
    std::string tail = name.substr(sourcePrefix.size());
    components->clear();
    std::vector<size_t> tailStarts = CharacterStarts(tail, lead);
    tailStarts.push_back(tail.size());
    size_t start = 0;
    for (size_t k = 0; k < tailStarts.size(); k++) {
        size_t at = tailStarts[k];
        bool end = at == tail.size();
        if (!end && tail[at] != '\\' && tail[at] != '/')
            continue;
        if (at == 0) {
            *why = "it starts with a separator";
            return false;
        }
        std::string part = tail.substr(start, at - start);
        start = at + 1;
        std::string refused = RefusedComponent(part, lead);
        if (!refused.empty()) {
            *why = refused;
            return false;
        }
        size_t kept = part.find_last_not_of(". ");
        if (kept == std::string::npos) {
            if (end) {
                *why = "it has no file name";
                return false;
            }
            continue;  // "" or ".": the folder itself
        }
        part.erase(kept + 1);
        std::string utf8;
        if (!CodePageToUtf8(part, codePage, &utf8, why))
            return false;
        components->push_back(utf8);
    }
    return true;
}

bool ExtractPackage(Source &file, Source &recordFile, const ExtractOptions &options, ExtractResult *result,
                    std::string *error)
{
    *result = ExtractResult();
    bool lead[256];
    if (!CodePageLeadBytes(options.codePage, lead, error))
        return false;
    ParsedPackage parsed;
    if (!ReadPackageHeader(file, &parsed, error))
        return false;
    IntegrityRecord record;
    if (!ReadIntegrityMark(recordFile, parsed, &result->recordPresent, &record, error))
        return false;
    const PackageHeader &header = parsed.header;
    // The launcher tests the length before it writes anything.
    if (header.packageLength < 0 || uint64_t(header.packageLength) > file.Size()) {
        *error = "header: packageLength at offset " +
                 std::to_string(parsed.resource.fileOffset + offsetof(PackageHeader, packageLength)) + " is " +
                 std::to_string(header.packageLength) + ", beyond the file of " + std::to_string(file.Size()) +
                 " bytes";
        return false;
    }

    const std::string &shownRoot = options.directory;
    if (mkdir(shownRoot.c_str(), 0777) != 0 && errno != EEXIST) {
        *error = shownRoot + ": " + std::strerror(errno);
        return false;
    }
    int root = open(shownRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) {
        *error = shownRoot + ": " + std::strerror(errno);
        return false;
    }
    if (!options.force && !IsEmptyFolder(root)) {
        close(root);
        *error = shownRoot + ": the folder is not empty; --force extracts into it all the same";
        return false;
    }
    bool ok = WalkEntries(
        file, parsed,
        [&](const ParsedEntry &entry, int32_t index, std::string *fault) {
            std::vector<std::string> components;
            std::string why;
            std::string place = EntryPlace(index, header.entryCount) + DisplayName(entry.name, options.codePage) + ": ";
            if (!DestinationComponents(entry.name, parsed.sourcePrefix, options.codePage, lead, &components, &why)) {
                *fault = place + "refused: " + why;
                return false;
            }
            if (!WriteEntry(file, recordFile, result->recordPresent ? &record : nullptr, entry, index, components,
                            root, shownRoot, &why)) {
                *fault = place + why;
                return false;
            }
            result->files++;
            return true;
        },
        error);
    close(root);
    return ok;
}

}  // namespace sfxpack
