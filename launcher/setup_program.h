// Running the package's setup program and waiting for it.
#ifndef LAUNCHER_SETUP_PROGRAM_H
#define LAUNCHER_SETUP_PROGRAM_H

#include <windows.h>

void RunSetupProgram(const char *setupCommand);
// 0 when the program ran and everything waited for has ended, otherwise the
// system error code of the failed start.
DWORD SpawnAndWait(const char *commandLine, HWND window);

#endif
