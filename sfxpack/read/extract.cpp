#include "sfxpack/read/extract.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "package/names.h"
#include "sfxpack/common/codepage.h"
#include "sfxpack/common/files.h"
#include "sfxpack/read/integrity.h"

namespace sfxpack {

namespace {

// Why the shared name rules refuse a name, for the message.
const char *NameFaultReason(NameFault fault)
{
    switch (fault) {
    case NAME_LEADING_SEPARATOR:
        return "it starts with a separator";
    case NAME_CONTROL_CHARACTER:
        return "it holds a control character";
    case NAME_COLON:
        return "it holds ':', a drive or an alternate data stream";
    case NAME_CLIMBS_UP:
        return "it has a '..' component";
    case NAME_DEVICE:
        return "it names a device";
    default:
        return "it has an empty component";
    }
}

// Byte offsets where the characters of `text` start, walked as CharNextA
// walks: a lead byte and the byte after it form one character.
std::vector<size_t> CharacterStarts(const std::string &text, const unsigned char *leadByteRanges)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size();
         i += IsLeadByte(leadByteRanges, static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1)
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
    static const int days[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = 1900 + local.tm_year;
    bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_mday > days[local.tm_mon] ||
        (local.tm_mon == 1 && local.tm_mday == 29 && !leap) || local.tm_hour > 23 || local.tm_min > 59 ||
        local.tm_sec > 59)
        return false;
    // Read as the launcher's LocalFileTimeToFileTime reads it: less the
    // zone's offset of this moment, not the offset the date itself had, so
    // that both give the same times on every date.
    time_t now = std::time(nullptr);
    std::tm current;
    localtime_r(&now, &current);
    *unixTime = timegm(&local) - current.tm_gmtoff;
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
                int failed = WriteAll(out, data, length);
                if (failed)
                    *failure = shown + ": " + std::strerror(failed);
                return failed == 0;
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
                           const unsigned char *leadByteRanges, std::vector<std::string> *components,
                           std::string *why)
{
    // The last backslash, searched backwards as the launcher does: the first
    // character is looked at only when it is the whole name.
    std::vector<size_t> starts = CharacterStarts(name, leadByteRanges);
    size_t split = std::string::npos;
    for (size_t k = starts.size(); k-- > 0 && (k > 0 || starts.size() == 1);) {
        if (name[starts[k]] == '\\') {
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
    // Empty components pass, as in the launcher: they lead nowhere.
    NameFault fault = FindNameFault(tail.c_str(), leadByteRanges, 0);
    if (fault != NAME_ACCEPTED) {
        *why = NameFaultReason(fault);
        return false;
    }
    // Windows fails to create such a name, so the launcher stops there; no
    // trail byte of a double-byte character lies in this range.
    size_t wildcard = tail.find_first_of("*?\"<>|");
    if (wildcard != std::string::npos) {
        *why = std::string("it holds '") + tail[wildcard] + "', which Windows does not allow in file names";
        return false;
    }
    components->clear();
    std::vector<size_t> tailStarts = CharacterStarts(tail, leadByteRanges);
    tailStarts.push_back(tail.size());
    size_t start = 0;
    for (size_t at : tailStarts) {
        bool end = at == tail.size();
        if (!end && tail[at] != '\\' && tail[at] != '/')
            continue;
        std::string part = tail.substr(start, at - start);
        start = at + 1;
        // Windows drops trailing dots and blanks; "" and "." are the folder
        // itself.
        size_t kept = part.find_last_not_of(". ");
        if (kept == std::string::npos) {
            if (end) {
                *why = "it has no file name";
                return false;
            }
            continue;
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
    Bytes leadByteRanges = LeadByteRanges(options.codePage);
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
            if (!DestinationComponents(entry.name, parsed.sourcePrefix, options.codePage, leadByteRanges.data(),
                                       &components, &why)) {
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
