#include "package/entry.h"
#include "fsutil/path.h"

int OpenOwnExecutable(HINSTANCE module, FileStream *stream, unsigned char *buffer, DWORD capacity)
{
    char path[PATH_BUFFER_SIZE];
    // A path cut to the buffer would name some other file.
    DWORD pathLength = GetModuleFileNameA(module, path, sizeof path);
    return pathLength != 0 && pathLength < sizeof path && OpenReadStream(stream, path, buffer, capacity);
}

ExtractStatus OpenPayload(HINSTANCE module, const PackageInfo *info, int wholePackage, FileStream *package,
                          unsigned char *buffer, DWORD capacity)
{
    if (!OpenOwnExecutable(module, package, buffer, capacity))
        return EXTRACT_CANNOT_OPEN_PACKAGE;
    LONGLONG length = StreamLength(package);
    if (length == -1 || length < info->payloadOffset || (wholePackage && length < info->packageLength)) {
        CloseStream(package);
        return EXTRACT_BAD_PACKAGE_SIZE;
    }
    SeekStream(package, info->payloadOffset);
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

static int IsSeparator(const char *c)
{
    return !IsDBCSLeadByte(static_cast<BYTE>(*c)) && (*c == '\\' || *c == '/');
}

// ".." and its kin: Windows drops trailing dots and blanks from a name, so
// ". .", "..." and ".. " all climb like "..".
static int ClimbsUp(const char *start, const char *end)
{
    int dots = 0;
    for (const char *c = start; c < end; c++) {
        if (*c == '.')
            dots++;
        else if (*c != ' ')
            return 0;
    }
    return dots >= 2;
}

// A device name opens the device in any directory, with any extension:
// "nul", "CON.txt", "com1 .log".
static int NamesDevice(const char *start, const char *end)
{
    static const char *const devices[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2",  "COM3",   "COM4",
                                          "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1",  "LPT2",   "LPT3",
                                          "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9",  "CONIN$", "CONOUT$"};
    const char *stem = start;
    while (stem < end && *stem != '.')
        stem++;
    while (stem > start && stem[-1] == ' ')
        stem--;
    char base[8];
    if (stem - start >= static_cast<int>(sizeof base))
        return 0;
    lstrcpynA(base, start, static_cast<int>(stem - start) + 1);
    for (const char *device : devices)
        if (lstrcmpiA(base, device) == 0)
            return 1;
    return 0;
}

// The part of a destination below its base, walked by characters as the file
// system reads it: the trail byte of a double-byte character is never a
// separator. Windows takes the forward slash for a separator, so it counts
// here too. Refused: a leading separator (an absolute path or "\\server"), a
// colon anywhere (a drive such as "C:" or an alternate data stream), a
// component that climbs up, and a device name.
static int StaysBelowBase(const char *tail)
{
    if (IsSeparator(tail))
        return 0;
    const char *start = tail;
    for (const char *c = tail;; c = CharNextA(c)) {
        if (*c == '\0' || IsSeparator(c)) {
            if (ClimbsUp(start, c) || NamesDevice(start, c))
                return 0;
            if (*c == '\0')
                return 1;
            start = c + 1;
        } else if (*c == ':') {
            return 0;
        }
    }
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
