#include "ui/report.h"
#include <stdarg.h>
#include "fsutil/ansi_path.h"
#include "fsutil/path.h"
#include "launcher/globals.h"
#include "resources/resource.h"

// Deny-none sharing: another program may read, write or delete the log
// between two messages.
static const DWORD LOG_SHARING = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

static void WriteWhole(HANDLE file, const char *data, DWORD count)
{
    DWORD written;
    WriteFile(file, data, count, &written, NULL);
}

// Appends `text` and a line end to the log as a text-mode stream would:
// every LF, including the closing one, is written as CR LF.
static void AppendLine(HANDLE file, const char *text)
{
    char buffer[512];
    DWORD used = 0;
    for (const char *c = text;; c++) {
        if (used > sizeof buffer - 2) {
            WriteWhole(file, buffer, used);
            used = 0;
        }
        if (*c == '\0' || *c == '\n') {
            buffer[used++] = '\r';
            buffer[used++] = '\n';
            if (*c == '\0')
                break;
        } else {
            buffer[used++] = *c;
        }
    }
    WriteWhole(file, buffer, used);
}

int ReportMessage(HWND owner, const WCHAR *text, const WCHAR *caption, UINT type)
{
    if (!silentMode)
        return MessageBoxW(owner, text, caption, type);

    // An empty path is a log that OpenSilentLog refused: the line is dropped.
    if (!logFilePath[0])
        return 1;
    // Two bytes a character hold any text of ReportString in a double-byte
    // code page.
    char line[1024];
    if (!WideCharToMultiByte(CP_ACP, 0, text, -1, line, sizeof line, NULL, NULL))
        line[0] = '\0';
    HANDLE log = CreateFileA(logFilePath, FILE_APPEND_DATA, LOG_SHARING, NULL, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (log == INVALID_HANDLE_VALUE)
        return 1;
    AppendLine(log, line);
    CloseHandle(log);
    return 1;
}

// The string table may hold the user's language in UTF-16, so the text is
// loaded and formatted wide, and the ANSI values (a path, the title) are
// converted for it. A translation keeps the fields of the original, "%s" and
// "%d" in the same order: the package writer refuses any other.
int ReportString(HWND owner, UINT type, UINT id, ...)
{
    // Room for a 127-character format with a 259-character path and a number.
    WCHAR text[512];
    WCHAR strings[2][PATH_BUFFER_SIZE];
    DWORD_PTR values[2] = {0, 0};
    LoadStringW(moduleHandle, IDS_CAPTION, messageCaption, TEXT_BUFFER_SIZE);
    LoadStringW(moduleHandle, id, messageText, TEXT_BUFFER_SIZE);
    va_list arguments;
    va_start(arguments, id);
    int fields = 0;
    for (const WCHAR *c = messageText; *c && fields < 2; c++) {
        if (*c != L'%')
            continue;
        c++;
        if (*c == L's') {
            WCHAR *wide = strings[fields];
            if (!MultiByteToWideChar(CP_ACP, 0, va_arg(arguments, const char *), -1, wide, PATH_BUFFER_SIZE))
                wide[0] = L'\0';
            values[fields++] = (DWORD_PTR)wide;
        } else if (*c == L'd') {
            values[fields++] = (DWORD_PTR)va_arg(arguments, int);
        } else if (!*c) {
            break;
        }
    }
    va_end(arguments);
    wsprintfW(text, messageText, values[0], values[1]);
    return ReportMessage(owner, text, messageCaption, type);
}

HWND GetMessageOwner()
{
    return NULL;
}

// Sets logFilePath to `name` in the executable's directory. A path that
// would not fit is refused (logFilePath empty, so no log) rather than cut
// to a name nobody asked for. The executable's path is read as Unicode: a
// folder named outside the ANSI code page ("Descărcări" on a Western
// European system) is reached by its short form.
static void PlaceBesideExecutable(HINSTANCE instance, const char *name)
{
    WCHAR wide[PATH_BUFFER_SIZE];
    char modulePath[PATH_BUFFER_SIZE];
    char dirPart[PATH_BUFFER_SIZE];
    char lastPart[PATH_BUFFER_SIZE];
    logFilePath[0] = '\0';
    DWORD length = GetModuleFileNameW(instance, wide, PATH_BUFFER_SIZE);
    if (length == 0 || length >= PATH_BUFFER_SIZE || !MakeAnsiPath(wide, modulePath, sizeof modulePath))
        return;
    SplitAtLastSeparator(modulePath, dirPart, lastPart, '\\');
    int dirLength = lstrlenA(dirPart);
    if (dirLength + lstrlenA(name) >= PATH_BUFFER_SIZE)
        return;
    lstrcpynA(logFilePath, dirPart, PATH_BUFFER_SIZE);
    lstrcpynA(logFilePath + dirLength, name, PATH_BUFFER_SIZE - dirLength);
}

// Sets logFilePath to its full path, or empties it when that does not fit.
static void MakeAbsolute()
{
    char full[PATH_BUFFER_SIZE];
    DWORD length = GetFullPathNameA(logFilePath, PATH_BUFFER_SIZE, full, NULL);
    if (length == 0 || length >= PATH_BUFFER_SIZE)
        logFilePath[0] = '\0';
    else
        lstrcpynA(logFilePath, full, PATH_BUFFER_SIZE);
}

void OpenSilentLog(HINSTANCE instance)
{
    if (logFilePathTooLong)
        return;
    if (logFilePath[0]) {
        char dirPart[PATH_BUFFER_SIZE];
        char lastPart[PATH_BUFFER_SIZE];
        SplitAtLastSeparator(logFilePath, dirPart, lastPart, '\\');
        // A bare name goes beside the executable, not into the current
        // directory. A path with a folder is fixed here, once: a removal pass
        // moves the current directory, and the lines after it must go to the
        // same file.
        if (!dirPart[0])
            PlaceBesideExecutable(instance, lastPart);
        else
            MakeAbsolute();
    } else {
        PlaceBesideExecutable(instance, "SETUP.LOG");
    }
    if (!logFilePath[0])
        return;

    // Every silent run starts with an empty log.
    HANDLE log = CreateFileA(logFilePath, GENERIC_WRITE, LOG_SHARING, NULL, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (log != INVALID_HANDLE_VALUE)
        CloseHandle(log);
}
