#include "package/entry.h"
#include "fsutil/path.h"
#include "package/names.h"

HANDLE OpenPackageFile(HINSTANCE module)
{
    // By its wide path: a package renamed to a name outside the ANSI code
    // page opens too. A path cut to the buffer would name some other file.
    WCHAR path[PATH_BUFFER_SIZE];
    DWORD pathLength = GetModuleFileNameW(module, path, PATH_BUFFER_SIZE);
    if (pathLength == 0 || pathLength >= PATH_BUFFER_SIZE)
        return INVALID_HANDLE_VALUE;
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
}

ExtractStatus OpenPayload(const PackageInfo *info, int wholePackage, FileStream *package, unsigned char *buffer,
                          DWORD capacity)
{
    BeginReading(package, packageFile, buffer, capacity, info->payloadOffset);
    LONGLONG length = StreamLength(package);
    if (length == -1 || length < info->payloadOffset || (wholePackage && length < info->packageLength))
        return EXTRACT_BAD_PACKAGE_SIZE;
    return EXTRACT_OK;
}

ExtractStatus ReadEntryName(FileStream *package, const char *sourcePrefix, EntryPaths *entry)
{
    int nameLength;
    if (!ReadStream(package, &nameLength, sizeof nameLength))
        return EXTRACT_ENTRY_READ_FAILED;
    if (nameLength < 1 || nameLength > ENTRY_NAME_MAX)
        return EXTRACT_BAD_ENTRY;
    char name[ENTRY_NAME_BUFFER_SIZE];
    if (!ReadStream(package, name, nameLength))
        return EXTRACT_ENTRY_READ_FAILED;
    UnscrambleField(name, nameLength);
    name[nameLength] = '\0';
    return DeriveEntryPaths(name, sourcePrefix, workingDir, entry) ? EXTRACT_OK : EXTRACT_BAD_ENTRY;
}

ExtractStatus ReadEntryTail(FileStream *package, DWORD *dosDateTime, int *size)
{
    if (!ReadStream(package, dosDateTime, sizeof *dosDateTime) || !ReadStream(package, size, sizeof *size))
        return EXTRACT_ENTRY_READ_FAILED;
    return *size > 0 ? EXTRACT_OK : EXTRACT_BAD_ENTRY;
}

// The part of a destination below its base, by the rules the writer packs
// by (package/names.h), in the code page the file system reads it in. Empty
// components are let through: a package made elsewhere may hold them, and
// they lead nowhere outside the base.
static int StaysBelowBase(const char *tail)
{
    CPINFO codePage;
    if (!GetCPInfo(CP_ACP, &codePage))
        codePage.LeadByte[0] = codePage.LeadByte[1] = 0;
    return FindNameFault(tail, codePage.LeadByte, 0) == NAME_ACCEPTED;
}

int DeriveEntryPaths(const char *name, const char *sourcePrefix, const char *base, EntryPaths *entry)
{
    SplitAtLastSeparator(name, entry->dirPart, entry->entryFileName, '\\');
    int prefixLength = lstrlenA(sourcePrefix);
    int dirLength = lstrlenA(entry->dirPart);
    if (dirLength < prefixLength)
        return 0;
    entry->relativeDir = entry->dirPart + prefixLength;
    int baseLength = lstrlenA(base);
    if (baseLength + dirLength - prefixLength + lstrlenA(entry->entryFileName) >= PATH_BUFFER_SIZE)
        return 0;
    lstrcpyA(entry->destinationPath, base);
    lstrcatA(entry->destinationPath, entry->relativeDir);
    lstrcatA(entry->destinationPath, entry->entryFileName);
    return StaysBelowBase(entry->destinationPath + baseLength);
}
