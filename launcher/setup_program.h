// Running the package's setup program and waiting for it.
#ifndef LAUNCHER_SETUP_PROGRAM_H
#define LAUNCHER_SETUP_PROGRAM_H

#include <windows.h>

// The most that the start of a program takes: 259 characters and the terminator.
enum { SETUP_COMMAND_LINE_SIZE = 260 };

// Runs the setup program, waits for it, removes the extracted files and
// reports a failed start. The program's own exit code when it ran, otherwise
// the system's code of the failed start; STILL_ACTIVE, the files left in
// place, for a program that cannot be waited for.
DWORD RunSetupProgram(const char *setupCommand);

// Assembles the setup program's command line from workingDir, the program
// part of `setupCommand`, the passed-on arguments, the rest of the command
// and " -sms". Returns 0, leaving `out` empty, when it does not fit in
// outSize bytes. `codePage` decides where characters begin; tests name one.
int BuildSetupCommandLine(const char *setupCommand, char *out, int outSize, UINT codePage = CP_ACP);

// The packaged program's full path: workingDir and the program part, with
// ".exe" added when the program part names no extension and that file
// exists, as the platform's own search of an unquoted name would take it.
// Returns 0 when it does not fit.
int FindSetupProgram(const char *setupCommand, char *out, int outSize, UINT codePage = CP_ACP);

// Starts `programPath` with `commandLine`, hides `window`, and waits for the
// program and then for every "tvdelete" window. A program that needs
// elevation is started through the shell's prompt instead, with
// `parameters`, the part of `commandLine` after the program. 0 when the
// program ran, its exit code in `*exitCode`; otherwise the system error code
// of the failed start: ERROR_FILE_NOT_FOUND when `programPath` is not a file.
// `*ended` is 0 only for a program that started but cannot be waited for
// (the shell gave no process): 0 is returned at once, with STILL_ACTIVE.
DWORD SpawnAndWait(const char *programPath, const char *commandLine, const char *parameters, HWND window,
                   DWORD *exitCode, int *ended);

#endif
