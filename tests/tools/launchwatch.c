/* Starts a command line and watches the top-level windows of the process it
   starts until that process ends; can end the user's session for it.

   launchwatch -o REPORT [-l DIR] [-p PERCENT | -f FILE] -c "COMMAND LINE"
     -o  the report, one line per event:
           visible <class>|<title>   a window of the process became visible
           dialog <caption>|<text>   a visible dialog box; followed by the
                                     listing of DIR, then answered with OK
           endsession <percent> <answer to WM_QUERYENDSESSION>
           list <name> / list-end    the entries of DIR at that moment
           exit <code>
     -l  the folder listed at every dialog and after the session has ended
     -p  ends the session once the bar of the "Progress" window shows at
         least PERCENT
     -f  ends the session once FILE exists
   Ending the session sends WM_QUERYENDSESSION and WM_ENDSESSION (wParam 1)
   to the process's "Progress" window. The command inherits this program's
   environment and current directory. Returns the command's exit code. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "start_program.h"

static FILE *report;
static const char *listedDir;
static DWORD childId;
static HWND progress;
static HWND seen[256];
static int seenCount;

static void ListDir(void)
{
    if (!listedDir)
        return;
    char pattern[MAX_PATH + 2];
    snprintf(pattern, sizeof pattern, "%s\\*", listedDir);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (strcmp(found.cFileName, ".") && strcmp(found.cFileName, ".."))
                fprintf(report, "list %s\n", found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    fprintf(report, "list-end\n");
}

static int Seen(HWND window)
{
    for (int i = 0; i < seenCount; i++)
        if (seen[i] == window)
            return 1;
    if (seenCount < 256)
        seen[seenCount++] = window;
    return 0;
}

static BOOL CALLBACK VisitWindow(HWND window, LPARAM unused)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != childId)
        return TRUE;
    char className[64], title[256];
    GetClassNameA(window, className, sizeof className);
    if (!strcmp(className, "Progress"))
        progress = window;
    if (!IsWindowVisible(window) || Seen(window))
        return TRUE;
    GetWindowTextA(window, title, sizeof title);
    fprintf(report, "visible %s|%s\n", className, title);
    if (!strcmp(className, "#32770")) {
        char text[512];
        /* A message box's text is its static control 0xFFFF. */
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
        fprintf(report, "dialog %s|%s\n", title, text);
        ListDir();
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
    fflush(report);
    return TRUE;
}

static int TriggerReached(int percent, const char *file)
{
    if (!progress)
        return 0;
    if (file)
        return GetFileAttributesA(file) != INVALID_FILE_ATTRIBUTES;
    char text[32];
    GetDlgItemTextA(progress, 1000, text, sizeof text);
    return percent >= 0 && atoi(text) >= percent;
}

int main(int argc, char **argv)
{
    const char *reportPath = NULL, *file = NULL;
    char *command = NULL;
    int percent = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "-o"))
            reportPath = argv[i + 1];
        else if (!strcmp(argv[i], "-l"))
            listedDir = argv[i + 1];
        else if (!strcmp(argv[i], "-p"))
            percent = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "-f"))
            file = argv[i + 1];
        else if (!strcmp(argv[i], "-c"))
            command = argv[i + 1];
        else
            return 120;
    }
    if (!reportPath || !command || !(report = fopen(reportPath, "wb")))
        return 121;

    PROCESS_INFORMATION process;
    if (!StartProgramA(command, &process)) {
        fprintf(report, "start-failed %lu\n", GetLastError());
        fclose(report);
        return 122;
    }
    childId = process.dwProcessId;

    int ended = percent < 0 && !file;
    do {
        EnumWindows(VisitWindow, 0);
        if (!ended && TriggerReached(percent, file)) {
            ended = 1;
            char text[32] = "";
            GetDlgItemTextA(progress, 1000, text, sizeof text);
            LRESULT answer = SendMessageA(progress, WM_QUERYENDSESSION, 0, 0);
            SendMessageA(progress, WM_ENDSESSION, 1, 0);
            fprintf(report, "endsession %s %ld\n", text, (long)answer);
            ListDir();
            fflush(report);
        }
    } while (WaitForSingleObject(process.hProcess, 5) == WAIT_TIMEOUT);

    DWORD code = EndedProgramExitCode(process.hProcess);
    fprintf(report, "exit %lu\n", code);
    fclose(report);
    return (int)code;
}
