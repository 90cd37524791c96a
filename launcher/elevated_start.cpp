#include "launcher/elevated_start.h"
#include <shellapi.h>
#include "launcher/globals.h"

typedef BOOL(WINAPI *ShellExecuteExFunction)(SHELLEXECUTEINFOA *);

// shell32 is loaded here only, by its full path in the system directory: the
// launcher imports from kernel32, user32 and gdi32 alone, and a shell32.dll
// beside the package must never be the one loaded. It stays loaded once the
// shell has run: work the shell hands to threads of its own may still be in
// it, and it goes with the process.
DWORD StartElevated(const char *programPath, const char *parameters, HANDLE *process)
{
    static const char name[] = "\\shell32.dll";
    char path[PATH_BUFFER_SIZE];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length + sizeof name > sizeof path)
        return ERROR_FILENAME_EXCED_RANGE;
    lstrcatA(path, name);
    HMODULE shell = LoadLibraryA(path);
    if (!shell)
        return GetLastError();
    FARPROC found = GetProcAddress(shell, "ShellExecuteExA");
    if (!found) {
        DWORD error = GetLastError();
        FreeLibrary(shell);
        return error;
    }

    // The directory CreateProcess would have given the program, named: the
    // elevated program is started by another process.
    char directory[PATH_BUFFER_SIZE];
    DWORD directoryLength = GetCurrentDirectoryA(sizeof directory, directory);
    SHELLEXECUTEINFOA start = {};
    start.cbSize = sizeof start;
    // The launcher reports a failed start itself, and waits for the process.
    start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    start.lpVerb = "runas";
    start.lpFile = programPath;
    start.lpParameters = parameters;
    start.lpDirectory = directoryLength > 0 && directoryLength < sizeof directory ? directory : NULL;
    start.nShow = SW_SHOW;
    // Through a pointer to a function without parameters, the cast that
    // says on purpose that the type is known.
    if (!reinterpret_cast<ShellExecuteExFunction>(reinterpret_cast<void (*)()>(found))(&start))
        return GetLastError();
    *process = start.hProcess;
    return 0;
}
