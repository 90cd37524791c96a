// The process entry point: no C runtime is linked, so the command line is
// split here and the exit code handed to ExitProcess.
#include <windows.h>
#include "launcher/arguments.h"
#include "launcher/globals.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

// A command line holds at most 32767 UTF-16 units. Its ANSI form takes up to
// two bytes a unit in a double-byte code page such as 932, and three where
// the ANSI code page is UTF-8. Split, it needs no more bytes than that and a
// terminator: each argument's terminator takes the place of the separator
// or quotes before it. Each argument takes at least two characters of the
// line (a character and a separator).
enum { LONGEST_ANSI_COMMAND_LINE = 3 * 32767 };
static char argumentText[LONGEST_ANSI_COMMAND_LINE + 2];
static char *argumentValues[16384 + 2];

// DLLs that the system DLLs load on demand (user32 its theme library, for
// one) would otherwise be searched first in the package's own folder, often
// a downloads folder. Restricted to the system directory before anything can
// load one. SetDefaultDllDirectories is looked up, as older systems lack it;
// it holds for this process only, so the setup program still finds DLLs in
// its working directory.
static void RestrictDllSearch()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    // Through a pointer to a function without parameters, the cast that
    // says on purpose that the type is known.
    if (found)
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(found))(
            LOAD_LIBRARY_SEARCH_SYSTEM32);
}

extern "C" void LauncherStartup()
{
    RestrictDllSearch();
    const char *line = GetCommandLineA();
    argCount = SplitCommandLine(line, argumentText, sizeof argumentText, argumentValues,
                                sizeof argumentValues / sizeof argumentValues[0]);
    argValues = argumentValues;

    // The rest of the line after the program, as WinMain conventionally gets it.
    const char *rest = line;
    if (*rest == '"') {
        rest++;
        while (*rest && *rest != '"')
            rest++;
        if (*rest)
            rest++;
    } else {
        while (*rest && *rest != ' ' && *rest != '\t')
            rest++;
    }
    while (*rest == ' ' || *rest == '\t')
        rest++;

    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;

    ExitProcess(WinMain(GetModuleHandleA(NULL), NULL, const_cast<LPSTR>(rest), show));
}
