// Starting the package's setup program, waiting for it and for whatever it
// leaves behind, then removing the extracted files.
#include "launcher/setup_program.h"
#include "launcher/elevated_start.h"
#include "launcher/globals.h"
#include "package/remove.h"
#include "resources/resource.h"
#include "ui/progress.h"
#include "ui/report.h"

// The start of a program whose manifest asks for more rights than the
// launcher has; missing from the MinGW headers.
#ifndef ERROR_ELEVATION_REQUIRED
#define ERROR_ELEVATION_REQUIRED 740
#endif

enum { TVDELETE_LOOK_INTERVAL_MS = 100 };

// Appends `count` bytes of `text` at out[*length]; 0 when they do not fit
// with the terminator.
static int AppendText(char *out, int outSize, int *length, const char *text, int count)
{
    if (count >= outSize - *length)
        return 0;
    for (int i = 0; i < count; i++)
        out[*length + i] = text[i];
    *length += count;
    out[*length] = '\0';
    return 1;
}

// Length of the program part: everything before the first blank. A blank is
// never the trail byte of a double-byte character, so bytes can be compared.
static int ProgramPartLength(const char *setupCommand)
{
    int length = 0;
    while (setupCommand[length] && setupCommand[length] != ' ')
        length++;
    return length;
}

// Whether the command, with a to z upper-cased, contains "SETUP". Matches
// start only where a character starts, so that a trail byte never counts.
static int NamesSetup(const char *setupCommand, UINT codePage)
{
    char upper[TEXT_BUFFER_SIZE];
    lstrcpynA(upper, setupCommand, sizeof upper);
    for (char *c = upper; *c; c++)
        if (*c >= 'a' && *c <= 'z')
            *c = static_cast<char>(*c - 'a' + 'A');
    static const char word[] = "SETUP";
    for (const char *start = upper; *start; start = CharNextExA(static_cast<WORD>(codePage), start, 0)) {
        int i = 0;
        while (word[i] && start[i] == word[i])
            i++;
        if (!word[i])
            return 1;
    }
    return 0;
}

int BuildSetupCommandLine(const char *setupCommand, char *out, int outSize, UINT codePage)
{
    int programLength = ProgramPartLength(setupCommand);
    const char *rest = setupCommand + programLength;
    int length = 0;
    out[0] = '\0';
    int fits = AppendText(out, outSize, &length, workingDir, lstrlenA(workingDir)) &&
               AppendText(out, outSize, &length, setupCommand, programLength);
    for (int i = 1; fits && i < argCount; i++) {
        const char *arg = argValues[i];
        if (arg[0] == '-' && arg[1] == 'p')
            continue;
        fits = AppendText(out, outSize, &length, " ", 1) && AppendText(out, outSize, &length, arg, lstrlenA(arg));
    }
    if (fits)
        fits = AppendText(out, outSize, &length, rest, lstrlenA(rest));
    if (fits && NamesSetup(setupCommand, codePage))
        fits = AppendText(out, outSize, &length, " -sms", 5);
    if (!fits)
        out[0] = '\0';
    return fits;
}

// Whether the last name in the first `length` bytes of `path` has a dot.
static int HasExtension(const char *path, int length, UINT codePage)
{
    int extension = 0;
    for (const char *c = path; c < path + length; c = CharNextExA(static_cast<WORD>(codePage), c, 0)) {
        if (*c == '.')
            extension = 1;
        else if (*c == '\\' || *c == '/')
            extension = 0;
    }
    return extension;
}

static int IsFile(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int FindSetupProgram(const char *setupCommand, char *out, int outSize, UINT codePage)
{
    int programLength = ProgramPartLength(setupCommand);
    int length = 0;
    out[0] = '\0';
    if (!AppendText(out, outSize, &length, workingDir, lstrlenA(workingDir)) ||
        !AppendText(out, outSize, &length, setupCommand, programLength))
        return 0;
    // Given a program name, the start appends nothing; a search of the
    // unquoted name would try the name with ".exe" first.
    if (HasExtension(setupCommand, programLength, codePage))
        return 1;
    int withExe = length;
    if (AppendText(out, outSize, &withExe, ".exe", 4) && IsFile(out))
        return 1;
    out[length] = '\0';
    return 1;
}

// Starts the program; 0 with `*process` set, or the system's code.
static DWORD StartProgram(const char *programPath, const char *commandLine, const char *parameters,
                          HANDLE *process)
{
    // The start may write into the command line it is given.
    char line[SETUP_COMMAND_LINE_SIZE];
    lstrcpynA(line, commandLine, sizeof line);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION started = {};
    // The program's own path as well as the line: a blank in workingDir must
    // never let the platform try a shorter, unquoted prefix as the program.
    if (CreateProcessA(programPath, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &started)) {
        CloseHandle(started.hThread);
        *process = started.hProcess;
        return 0;
    }
    DWORD error = GetLastError();
    // A program whose manifest asks for administrator rights, started by a
    // launcher that runs as the user.
    if (error == ERROR_ELEVATION_REQUIRED)
        return StartElevated(programPath, parameters, process);
    return error;
}

DWORD SpawnAndWait(const char *programPath, const char *commandLine, const char *parameters, HWND window,
                   DWORD *exitCode, int *ended)
{
    *ended = 1;
    // An empty program part names the working directory itself, which the
    // start would refuse with an unrelated code.
    if (!IsFile(programPath))
        return ERROR_FILE_NOT_FOUND;
    HANDLE process;
    DWORD error = StartProgram(programPath, commandLine, parameters, &process);
    if (error)
        return error;
    ShowWindow(window, SW_HIDE);
    // Started by the shell without a process to wait for: the program may
    // still be on its way, and its end is never known. The code Windows
    // gives for a process that has not ended says so.
    if (!process) {
        *ended = 0;
        *exitCode = STILL_ACTIVE;
        return 0;
    }

    // Draining between the waits keeps the hidden window answering the
    // system, the end of the session included.
    do
        DrainMessages();
    while (WaitForSingleObject(process, 200) == WAIT_TIMEOUT);
    if (!GetExitCodeProcess(process, exitCode))
        *exitCode = GetLastError();
    CloseHandle(process);

    // Between two looks the thread sleeps until a message comes, or for
    // 100 ms: a window that stays for minutes costs no processor time, and
    // the system's messages are still handled as they arrive.
    while (FindWindowA("tvdelete", NULL)) {
        DrainMessages();
        MsgWaitForMultipleObjects(0, NULL, FALSE, TVDELETE_LOOK_INTERVAL_MS, QS_ALLINPUT);
    }
    return 0;
}

DWORD RunSetupProgram(const char *setupCommand)
{
    // After the end of the session the files are gone: start nothing, as
    // when the user stops the run.
    if (sessionEnded)
        return ERROR_INSTALL_USEREXIT;
    char commandLine[SETUP_COMMAND_LINE_SIZE];
    char programPath[PATH_BUFFER_SIZE];
    DWORD exitCode = 0;
    int ended = 1;
    // A line longer than the start takes is refused rather than cut: a cut
    // line would hand the program arguments that nobody gave.
    DWORD result = ERROR_FILENAME_EXCED_RANGE;
    if (BuildSetupCommandLine(setupCommand, commandLine, sizeof commandLine) &&
        FindSetupProgram(setupCommand, programPath, sizeof programPath)) {
        // The line after the program part and the blank that ends it.
        const char *parameters = commandLine + lstrlenA(workingDir) + ProgramPartLength(setupCommand);
        if (*parameters == ' ')
            parameters++;
        result = SpawnAndWait(programPath, commandLine, parameters, progressWindow, &exitCode, &ended);
    }

    // A program that cannot be waited for may still be reading its files:
    // they stay, with the working directory, rather than vanish under it.
    if (ended)
        RemoveExtractedFiles(moduleHandle);
    if (result == 0)
        return exitCode;

    ReportString(progressWindow, MB_OK, IDS_LAUNCH_FAILED, static_cast<int>(result));
    return result;
}
