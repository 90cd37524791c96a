/* Starts a command line with a changed environment and current directory,
   waits for it, prints its exit code whole on a line and returns it (whose
   low 8 bits only reach a Unix parent). Wine sets TEMP from its registry,
   so the tests set it through this program instead. The arguments are read
   as Unicode, so that a value in a double-byte code page comes through whole.

   winrun [-e NAME=VALUE]... [-u NAME]... [-d DIR] [-n] [-t MS] -c "COMMAND LINE"
     -e  set a variable          -u  remove a variable
     -d  current directory       -n  do not wait; print the process id
     -t  give up after MS milliseconds: end the program, exit code 125
     -c  the command line, passed to CreateProcessW unchanged */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <wchar.h>

#include "start_program.h"

int main(void)
{
    int argc;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const wchar_t *directory = NULL;
    wchar_t *command = NULL;
    int wait = 1;
    DWORD timeout = INFINITE;
    for (int i = 1; i < argc; i++) {
        if (!wcscmp(argv[i], L"-e") && i + 1 < argc) {
            wchar_t *pair = argv[++i];
            wchar_t *eq = wcschr(pair, L'=');
            if (!eq)
                return 120;
            *eq = L'\0';
            SetEnvironmentVariableW(pair, eq + 1);
        } else if (!wcscmp(argv[i], L"-u") && i + 1 < argc) {
            SetEnvironmentVariableW(argv[++i], NULL);
        } else if (!wcscmp(argv[i], L"-d") && i + 1 < argc) {
            directory = argv[++i];
        } else if (!wcscmp(argv[i], L"-n")) {
            wait = 0;
        } else if (!wcscmp(argv[i], L"-t") && i + 1 < argc) {
            timeout = (DWORD)wcstoul(argv[++i], NULL, 10);
        } else if (!wcscmp(argv[i], L"-c") && i + 1 < argc) {
            command = argv[++i];
        } else {
            fwprintf(stderr, L"winrun: bad argument %ls\n", argv[i]);
            return 121;
        }
    }
    if (!command)
        return 122;

    PROCESS_INFORMATION process;
    if (!StartProgramW(command, directory, &process)) {
        fwprintf(stderr, L"winrun: cannot start %ls: error %lu\n", command, GetLastError());
        return 123;
    }
    if (!wait) {
        printf("%lu\n", process.dwProcessId);
        CloseHandle(process.hProcess);
        return 0;
    }
    if (WaitForSingleObject(process.hProcess, timeout) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 125);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    DWORD code = EndedProgramExitCode(process.hProcess);
    printf("%lu\n", code);
    return (int)code;
}
