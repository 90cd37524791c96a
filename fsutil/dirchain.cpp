#include "fsutil/dirchain.h"
#include "fsutil/error_number.h"
#include "fsutil/path.h"
#include "launcher/globals.h"
#include "resources/resource.h"
#include "ui/report.h"

enum { MESSAGE_BUFFER_SIZE = 256 };

static const char PROBE_NAME[] = "p~~~~~~~.zxw";

// wsprintfW has no bound: the path is cut so that the text fits 255
// characters.
static void ReportCannotCreate(const char *path)
{
    WCHAR format[MESSAGE_BUFFER_SIZE];
    WCHAR caption[MESSAGE_BUFFER_SIZE];
    WCHAR shown[PATH_BUFFER_SIZE];
    WCHAR text[MESSAGE_BUFFER_SIZE];

    LoadStringW(moduleHandle, IDS_CAPTION, caption, MESSAGE_BUFFER_SIZE);
    // The format's "%s" gives way to the path.
    int room = MESSAGE_BUFFER_SIZE + 2 - LoadStringW(moduleHandle, IDS_CANNOT_CREATE_DIR, format, MESSAGE_BUFFER_SIZE);
    if (room > MESSAGE_BUFFER_SIZE)
        room = MESSAGE_BUFFER_SIZE;
    // The path fits its 260 characters, whatever the code page.
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, shown, PATH_BUFFER_SIZE))
        shown[0] = L'\0';
    shown[room - 1] = L'\0';
    wsprintfW(text, format, shown);
    ReportMessage(GetMessageOwner(), text, caption, MB_OK);
}

int ProbeWritable(const char *directory)
{
    char probe[PATH_BUFFER_SIZE];

    if (lstrlenA(directory) > PATH_BUFFER_SIZE - 2)
        return 0;
    lstrcpynA(probe, directory, sizeof probe);
    AppendTrailingBackslash(probe);
    if (lstrlenA(probe) + lstrlenA(PROBE_NAME) > PATH_BUFFER_SIZE - 1)
        return 0;
    lstrcatA(probe, PROBE_NAME);

    HANDLE file = CreateFileA(probe, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(file);
    DeleteFileA(probe);
    return 1;
}

// Every level gets its own CreateDirectoryA, existing ones too; the reply
// decides whether the level is usable.
int CreateDirectoryChain(const char *base, const char *relative)
{
    char levelPath[PATH_BUFFER_SIZE];
    int baseLength = lstrlenA(base);

    for (int n = 1;; n++) {
        int k = FindNthSeparator(relative, '\\', n);
        if (k == 0)
            return 1;

        // As much of the level's path as fits; one that does not fit whole
        // cannot be named, so it counts as not creatable.
        lstrcpynA(levelPath, base, sizeof levelPath);
        int used = lstrlenA(levelPath);
        int room = PATH_BUFFER_SIZE - used;
        lstrcpynA(levelPath + used, relative, k + 1 < room ? k + 1 : room);
        if (baseLength + k > PATH_BUFFER_SIZE - 1) {
            ReportCannotCreate(levelPath);
            return 0;
        }

        if (CreateDirectoryA(levelPath, NULL))
            continue;
        int number = ErrorNumber(GetLastError());
        if (number == ERROR_NUMBER_ACCESS_DENIED && ProbeWritable(levelPath))
            continue;
        if (number == ERROR_NUMBER_NOT_FOUND || number == ERROR_NUMBER_ACCESS_DENIED) {
            ReportCannotCreate(levelPath);
            return 0;
        }
    }
}

// Joins up to three parts into `path`; 0 when they do not fit.
static int JoinPath(char *path, const char *first, const char *second, const char *third)
{
    if (lstrlenA(first) + lstrlenA(second) + lstrlenA(third) > PATH_BUFFER_SIZE - 1)
        return 0;
    wsprintfA(path, "%s%s%s", first, second, third);
    return 1;
}

// Removes an empty level below the base; anything else stays. A path too
// long for the buffer cannot have been created either.
static void RemoveLevel(const char *baseCopy, const char *base, const char *dirPart,
                        const char *lastPart)
{
    char path[PATH_BUFFER_SIZE];
    if (!JoinPath(path, base, dirPart, lastPart))
        return;
    StripTrailingBackslash(path);
    if (lstrcmpiA(path, baseCopy) == 0)
        return;
    // A doubled backslash leaves one behind.
    if (EndsWithChar(path, '\\'))
        path[lstrlenA(path) - 1] = '\0';
    RemoveDirectoryA(path);
}

// Deepest level first; the base itself always stays.
int RemoveDirectoryChain(const char *base, const char *relative)
{
    char baseCopy[PATH_BUFFER_SIZE];
    char rest[PATH_BUFFER_SIZE];
    char dirPart[PATH_BUFFER_SIZE];
    char lastPart[PATH_BUFFER_SIZE];

    if (!*relative)
        return 1;
    lstrcpynA(baseCopy, base, sizeof baseCopy);
    StripTrailingBackslash(baseCopy);
    lstrcpynA(rest, relative, sizeof rest);
    StripTrailingBackslash(rest);
    SplitAtLastSeparator(rest, dirPart, lastPart, '\\');

    // A process cannot remove its own current directory.
    SetCurrentDirectoryA("c:\\");
    while (*lastPart) {
        RemoveLevel(baseCopy, base, dirPart, lastPart);
        lstrcpyA(rest, dirPart);
        StripTrailingBackslash(rest);
        SplitAtLastSeparator(rest, dirPart, lastPart, '\\');
    }
    RemoveLevel(baseCopy, base, dirPart, "");
    return 1;
}
