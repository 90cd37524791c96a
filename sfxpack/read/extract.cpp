#include "sfxpack/read/extract.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sfxpack/common/codepage.h"
#include "sfxpack/common/files.h"
#include "sfxpack/common/partial_file.h"
#include "sfxpack/read/decoded_source.h"
#include "sfxpack/read/entry_name.h"
#include "sfxpack/read/integrity.h"

namespace sfxpack {

namespace {

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

// The name of the temporary that the entry being written goes to.
char partialName[48];

// Makes a new temporary in `folder` for one entry, noted as the partial
// file that an ending signal removes. The descriptor, or -1 with `error`
// set.
int CreatePartial(int folder, const std::string &shown, std::string *error)
{
    HoldEndingSignals(true);
    int fd = -1;
    for (unsigned attempt = 0; fd < 0; attempt++) {
        std::snprintf(partialName, sizeof partialName, ".sfxpack-%ld-%u.part", long(getpid()), attempt);
        fd = openat(folder, partialName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            *error = shown + ": " + std::strerror(errno);
            break;
        }
    }
    if (fd >= 0)
        NotePartialFile(folder, partialName);
    HoldEndingSignals(false);
    return fd;
}

// Writes one entry below `root`. The bytes go to a temporary in the entry's
// folder, which takes the entry's name only once they match the integrity
// record: on any failure the temporary goes, and a file already there under
// that name stays as it was.
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
    // A link or a file there is replaced, as the launcher overwrites a file;
    // a folder cannot be, which is said before anything is written.
    struct stat there;
    if (fstatat(parent, fileName.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(there.st_mode)) {
        *error = shown + ": a folder is in the way";
        ok = false;
    }
    int out = ok ? CreatePartial(parent, shown, error) : -1;
    ok = out >= 0;
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
        if (ok && renameat(parent, partialName, parent, fileName.c_str()) != 0) {
            *error = shown + ": " + std::strerror(errno);
            ok = false;
        }
        if (!ok)
            unlinkat(parent, partialName, 0);
        ForgetPartialFile();
    }
    if (parent != root)
        close(parent);
    return ok;
}

}  // namespace

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

    std::unique_ptr<DecodedSource> decoded;
    Source *entries;
    if (!OpenEntries(file, parsed, &decoded, &entries, error))
        return false;

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
    EntryNames names;
    bool ok = WalkEntries(
        *entries, parsed,
        [&](const ParsedEntry &entry, int32_t index, std::string *fault) {
            std::vector<std::string> components;
            std::string why;
            std::string place = EntryPlace(index, header.entryCount) + DisplayName(entry.name, options.codePage) + ": ";
            if (!DestinationComponents(entry.name, parsed.sourcePrefix, options.codePage, leadByteRanges.data(),
                                       &components, &why)) {
                *fault = place + "refused: " + why;
                return false;
            }
            // Only a name spelt alike replaces a file here as it does there.
            NameClash clash;
            if (!names.Add(components, place.substr(0, place.size() - 2), &clash, &why, fault))
                return false;
            if (clash.kind != NameClash::NONE && clash.kind != NameClash::SAME_NAME) {
                *fault = place + "refused: " + why;
                return false;
            }
            if (!WriteEntry(*entries, recordFile, result->recordPresent ? &record : nullptr, entry, index, components,
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
