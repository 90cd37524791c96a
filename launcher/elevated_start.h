// Starting a program through the shell's elevation prompt.
#ifndef LAUNCHER_ELEVATED_START_H
#define LAUNCHER_ELEVATED_START_H

#include <windows.h>

// Starts `programPath` with `parameters` (its command line after the
// program) through the shell's "runas" verb, in the launcher's current
// directory: for a program whose manifest asks for administrator rights
// while the launcher runs as the user, which CreateProcess refuses with
// ERROR_ELEVATION_REQUIRED. COM is initialised on the calling thread first,
// as the shell asks. 0 with `*process` set, NULL when the shell started the
// program without a process to give (it handed the start to a program
// already running), or the system's code of the failed start
// (ERROR_CANCELLED when the user declines the prompt).
DWORD StartElevated(const char *programPath, const char *parameters, HANDLE *process);

#endif
