#include "fsutil/workdir.h"
#include "fsutil/ansi_path.h"
#include "fsutil/path.h"
#include "launcher/globals.h"

// The name adds "~EXB", four digits and a backslash to the base, and the
// whole must fit workingDir.
enum {
    WORKING_DIR_NAME_LENGTH = 9,
    MAX_BASE_LENGTH = TEXT_BUFFER_SIZE - 1 - WORKING_DIR_NAME_LENGTH,
    LAST_CANDIDATE = 0xFFFE
};

// In 64 bits, so that a drive with more than 4 GiB free is never rejected.
ULONGLONG GetFreeBytes(const char *root)
{
    DWORD sectorsPerCluster;
    DWORD bytesPerSector;
    DWORD freeClusters;
    DWORD totalClusters;
    if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return 0;
    return static_cast<ULONGLONG>(sectorsPerCluster) * bytesPerSector * freeClusters;
}

// a to z only, independent of the locale; trail bytes of double-byte
// characters are skipped, as they are part of another character.
static void UpperCaseLetters(char *path)
{
    for (char *p = path; *p; p = CharNextA(p)) {
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - ('a' - 'A'));
    }
}

int TryWorkingDirBase(const char *base, char *dir, ULONGLONG needed)
{
    char copy[PATH_BUFFER_SIZE];
    char candidate[PATH_BUFFER_SIZE];
    char root[4];

    // An empty TEMP counts as missing.
    if (!base || !*base || lstrlenA(base) > MAX_BASE_LENGTH)
        return 0;
    lstrcpynA(copy, base, sizeof copy);
    // By characters, not by the last byte: a TEMP that ends in a double-byte
    // character whose trail byte is 0x5C (such as 表) gets its backslash
    // too, so the working directory is made inside TEMP, where it belongs,
    // and not beside it under a name that continues TEMP's last character.
    AppendTrailingBackslash(copy);
    if (lstrlenA(copy) > MAX_BASE_LENGTH)
        return 0;
    UpperCaseLetters(copy);

    // A network path's "\\S" is no drive root: no free space, rejected.
    lstrcpynA(root, copy, sizeof root);
    if (GetDriveTypeA(root) == DRIVE_REMOVABLE)
        return 0;
    if (GetFreeBytes(root) < needed)
        return 0;

    for (int i = 0; i <= LAST_CANDIDATE; i++) {
        wsprintfA(candidate, "%s~EXB%04X", copy, i);
        if (GetFileAttributesA(candidate) != INVALID_FILE_ATTRIBUTES)
            continue;
        if (CreateDirectoryA(candidate, NULL)) {
            ownsWorkingDir = 1;
        } else if (GetLastError() == ERROR_ALREADY_EXISTS) {
            // Taken since the test above, or unreadable: never share
            // another run's directory.
            continue;
        }
        wsprintfA(dir, "%s\\", candidate);
        return 1;
    }
    return 0;
}

// TEMP as a path the ANSI calls can use; 0 when missing, too long for the
// buffer (and so for a base) or without such a form. Read as Unicode, not
// through the ANSI variant, which Wine cuts to the value's length in
// characters when it holds double-byte ones, and which turns characters
// outside the code page into '?'. Read from the environment, not through
// GetTempPath, which would take TMP first.
static int ReadTemp(char *temp, int size)
{
    WCHAR wide[TEXT_BUFFER_SIZE];
    DWORD length = GetEnvironmentVariableW(L"TEMP", wide, TEXT_BUFFER_SIZE);
    if (length == 0 || length >= TEXT_BUFFER_SIZE)
        return 0;
    return MakeAnsiPath(wide, temp, size);
}

static int ReadWindowsDir(char *windowsDir, int size)
{
    WCHAR wide[TEXT_BUFFER_SIZE];
    UINT length = GetWindowsDirectoryW(wide, TEXT_BUFFER_SIZE);
    if (length == 0 || length >= TEXT_BUFFER_SIZE)
        return 0;
    return MakeAnsiPath(wide, windowsDir, size);
}

int ChooseWorkingDir(char *dir, ULONGLONG needed)
{
    char temp[TEXT_BUFFER_SIZE];
    char windowsDir[TEXT_BUFFER_SIZE];

    ownsWorkingDir = 0;
    dir[0] = '\0';

    if (ReadTemp(temp, sizeof temp) && TryWorkingDirBase(temp, dir, needed))
        return 1;

    return ReadWindowsDir(windowsDir, sizeof windowsDir) && TryWorkingDirBase(windowsDir, dir, needed);
}
