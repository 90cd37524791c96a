#include "launcher/elevated_start.h"
#include <objbase.h>
#include <shellapi.h>
#include "launcher/globals.h"

typedef BOOL(WINAPI *ShellExecuteExFunction)(SHELLEXECUTEINFOA *);
typedef HRESULT(WINAPI *CoInitializeExFunction)(void *, DWORD);

// Loads the library `name` ("\\shell32.dll") from the system directory, by its
// full path, and finds `function` in it; 0, or the system's code with
// nothing left loaded. The launcher imports from kernel32, user32 and gdi32
// alone, and a DLL of that name beside the package must never be the one
// loaded.
static DWORD FindInSystemLibrary(const char *name, const char *function, HMODULE *library, FARPROC *found)
{
    char path[PATH_BUFFER_SIZE];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length + lstrlenA(name) >= sizeof path)
        return ERROR_FILENAME_EXCED_RANGE;
    lstrcatA(path, name);
    *library = LoadLibraryA(path);
    if (!*library)
        return GetLastError();
    *found = GetProcAddress(*library, function);
    if (!*found) {
        DWORD error = GetLastError();
        FreeLibrary(*library);
        return error;
    }
    return 0;
}

// shell32 and ole32 are loaded here only. They stay loaded once the shell
// has run, and COM stays initialised: work the shell hands to threads of
// its own may still be in them, and they go with the process.
DWORD StartElevated(const char *programPath, const char *parameters, HANDLE *process)
{
    HMODULE shell;
    FARPROC shellExecute;
    DWORD error = FindInSystemLibrary("\\shell32.dll", "ShellExecuteExA", &shell, &shellExecute);
    if (error)
        return error;
    HMODULE ole;
    FARPROC coInitialize;
    error = FindInSystemLibrary("\\ole32.dll", "CoInitializeEx", &ole, &coInitialize);
    if (error) {
        FreeLibrary(shell);
        return error;
    }
    // The shell may hand the start to extensions that are COM objects, and
    // asks for an apartment-threaded COM without OLE 1 on the calling thread.
    // Through a pointer to a function without parameters, the cast that says
    // on purpose that the type is known. Its result is not needed: should it
    // fail, the start is still tried, as before COM was set up here.
    reinterpret_cast<CoInitializeExFunction>(reinterpret_cast<void (*)()>(coInitialize))(
        NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

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
    if (!reinterpret_cast<ShellExecuteExFunction>(reinterpret_cast<void (*)()>(shellExecute))(&start))
        return GetLastError();
    // NULL when the shell handed the start to a program already running.
    *process = start.hProcess;
    return 0;
}
