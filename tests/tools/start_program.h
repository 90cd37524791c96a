/* Starting and ending the programs that a test tool runs: the command line
   goes to CreateProcess unchanged, with the tool's own environment. */
#ifndef TESTS_TOOLS_START_PROGRAM_H
#define TESTS_TOOLS_START_PROGRAM_H

#include <windows.h>

/* Starts `command` in `directory` (NULL: the current one); the thread handle
   is closed at once. FALSE when it cannot be started (see GetLastError). */
static inline BOOL StartProgramW(wchar_t *command, const wchar_t *directory, PROCESS_INFORMATION *process)
{
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessW(NULL, command, NULL, NULL, FALSE, 0, NULL, directory, &startup, process))
        return FALSE;
    CloseHandle(process->hThread);
    return TRUE;
}

static inline BOOL StartProgramA(char *command, PROCESS_INFORMATION *process)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, process))
        return FALSE;
    CloseHandle(process->hThread);
    return TRUE;
}

/* The exit code of a program that has ended, 124 when it cannot be read;
   the process handle is closed. */
static inline DWORD EndedProgramExitCode(HANDLE process)
{
    DWORD code = 124;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

#endif
