/* A stand-in setup program. It records how it was started, in
   %RECORDER_DIR%\<own name>.txt, or <own path>.txt when RECORDER_DIR is unset:
     command=<its command line, as GetCommandLineA gives it>
     cwd=<its current directory>
     show=<STARTUPINFO dwFlags> <wShowWindow>
     self=<its own path; in its short form when the ANSI code page lacks
           a character of the long one, as a program started by its short
           path sees it on Windows (Wine gives the long path back)>
     file=<name>     for each file in its own directory
   and then, as the environment asks:
     RECORDER_TVDELETE=<command>  starts <command> "<own path>" "<RECORDER_DIR>\tvdelete.txt"
                                  and waits until a "tvdelete" window exists
     RECORDER_SLEEP=<ms>          sleeps, then writes after=<name> for each
                                  file still in its own directory
   and finally "done". It exits with 0, or with RECORDER_EXIT=<code>. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "start_program.h"

static char self[MAX_PATH];
static char selfDir[MAX_PATH];

static void ListOwnDirectory(FILE *out, const char *label)
{
    char pattern[MAX_PATH + 2];
    snprintf(pattern, sizeof pattern, "%s*", selfDir);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            fprintf(out, "%s=%s\n", label, found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

static void ReadOwnPath(void)
{
    WCHAR wide[MAX_PATH];
    WCHAR shortPath[MAX_PATH];
    BOOL lost = FALSE;
    GetModuleFileNameW(NULL, wide, MAX_PATH);
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, self, sizeof self, NULL, &lost);
    if (lost && GetShortPathNameW(wide, shortPath, MAX_PATH))
        WideCharToMultiByte(CP_ACP, 0, shortPath, -1, self, sizeof self, NULL, NULL);
}

int main(void)
{
    ReadOwnPath();
    strcpy(selfDir, self);
    char *name = strrchr(selfDir, '\\') + 1;
    char base[MAX_PATH];
    strcpy(base, name);
    *name = '\0';
    char *dot = strrchr(base, '.');
    if (dot)
        *dot = '\0';

    char recordDir[MAX_PATH] = "";
    char record[MAX_PATH * 2];
    if (GetEnvironmentVariableA("RECORDER_DIR", recordDir, sizeof recordDir))
        snprintf(record, sizeof record, "%s\\%s.txt", recordDir, base);
    else
        snprintf(record, sizeof record, "%s%s.txt", selfDir, base);

    char cwd[MAX_PATH];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);

    /* Written under another name and renamed, so that a watcher that sees
       the record sees all of this part. */
    char partial[MAX_PATH * 2 + 8];
    snprintf(partial, sizeof partial, "%s.part", record);
    FILE *out = fopen(partial, "wb");
    if (!out)
        return 2;
    fprintf(out, "command=%s\ncwd=%s\nshow=%lu %u\nself=%s\n", GetCommandLineA(), cwd, startup.dwFlags,
            startup.wShowWindow, self);
    ListOwnDirectory(out, "file");
    fclose(out);
    if (!MoveFileExA(partial, record, MOVEFILE_REPLACE_EXISTING))
        return 3;

    out = fopen(record, "ab");
    char tvdelete[MAX_PATH * 3];
    if (GetEnvironmentVariableA("RECORDER_TVDELETE", tvdelete, MAX_PATH)) {
        char command[MAX_PATH * 4];
        snprintf(command, sizeof command, "%s \"%s\" \"%s\\tvdelete.txt\"", tvdelete, self, recordDir);
        PROCESS_INFORMATION process;
        if (!StartProgramA(command, &process)) {
            fprintf(out, "tvdelete-failed=%lu\n", GetLastError());
        } else {
            CloseHandle(process.hProcess);
            for (int i = 0; i < 2000 && !FindWindowA("tvdelete", NULL); i++)
                Sleep(5);
            fprintf(out, "tvdelete=%s\n", FindWindowA("tvdelete", NULL) ? "started" : "missing");
        }
    }
    char sleep[32];
    if (GetEnvironmentVariableA("RECORDER_SLEEP", sleep, sizeof sleep)) {
        Sleep(atoi(sleep));
        ListOwnDirectory(out, "after");
    }
    fprintf(out, "done\n");
    fclose(out);
    char exitCode[32];
    if (GetEnvironmentVariableA("RECORDER_EXIT", exitCode, sizeof exitCode))
        return (int)strtoul(exitCode, NULL, 10);
    return 0;
}
