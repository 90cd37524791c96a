/* Starts a command line with a changed environment and current directory,
   waits for it and returns its exit code. Wine sets TEMP from its registry,
   so the tests set it through this program instead.

   winrun [-e NAME=VALUE]... [-u NAME]... [-d DIR] [-n] [-t MS] -c "COMMAND LINE"
     -e  set a variable          -u  remove a variable
     -d  current directory       -n  do not wait; print the process id
     -t  give up after MS milliseconds: end the program, exit code 125
     -c  the command line, passed to CreateProcessA unchanged */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv)
{
    const char *directory = NULL;
    char *command = NULL;
    int wait = 1;
    DWORD timeout = INFINITE;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "-e") && i + 1 < argc) {
            char *pair = argv[++i];
            char *eq = strchr(pair, '=');
            if (!eq)
                return 120;
            *eq = '\0';
            SetEnvironmentVariableA(pair, eq + 1);
        } else if (!strcmp(argv[i], "-u") && i + 1 < argc) {
            SetEnvironmentVariableA(argv[++i], NULL);
        } else if (!strcmp(argv[i], "-d") && i + 1 < argc) {
            directory = argv[++i];
        } else if (!strcmp(argv[i], "-n")) {
            wait = 0;
        } else if (!strcmp(argv[i], "-t") && i + 1 < argc) {
            timeout = (DWORD)strtoul(argv[++i], NULL, 10);
        } else if (!strcmp(argv[i], "-c") && i + 1 < argc) {
            command = argv[++i];
        } else {
            fprintf(stderr, "winrun: bad argument %s\n", argv[i]);
            return 121;
        }
    }
    if (!command)
        return 122;

    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, directory, &startup, &process)) {
        fprintf(stderr, "winrun: cannot start %s: error %lu\n", command, GetLastError());
        return 123;
    }
    CloseHandle(process.hThread);
    if (!wait) {
        printf("%lu\n", process.dwProcessId);
        CloseHandle(process.hProcess);
        return 0;
    }
    if (WaitForSingleObject(process.hProcess, timeout) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 125);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    DWORD code = 124;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return (int)code;
}
