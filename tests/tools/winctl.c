/* Drives and inspects the windows of another program, for the tests.

   winctl [SELECT...] COMMAND [ARGUMENTS]

   SELECT picks one top-level window, and optionally a control of it:
     -c CLASS  window class (any case; "#32770" is a dialog or message box)
     -t TITLE  exact window text       -p PID  owning process id
     -h HWND   a handle, decimal or 0x hex
     -v        visible windows only
     -i ID     act on the control with this id instead (0xFFFF: the text
               of a message box)
     -w MS     wait up to MS milliseconds for the window (default 10000)

   COMMAND
     wait             print the handle once the window exists
     gone             wait until no such window exists
     text             print the text (WM_GETTEXT: an edit field's content too)
     utext            the text as Unicode, printed in UTF-8
     click            click the button (BM_CLICK, posted)
     command ID       post WM_COMMAND with wParam ID to the window
     type TEXT        send each character as WM_CHAR, as a typed key arrives
                      at the control: a text limit (EM_LIMITTEXT) applies;
                      returns once all are taken
     key KEY          post a key press (WM_KEYDOWN, WM_KEYUP) into the
                      program's queue; KEY is esc, enter or a virtual key
                      number. A dialog's own loop (IsDialogMessage) turns
                      Escape and Enter into commands. Returns after 200 ms,
                      time enough for the program to take the key.
     send MSG [W [L]] send a message and print its result
     post MSG [W [L [COUNT]]]
                      post a message; with COUNT, that many copies while
                      the window's thread is held (SuspendThread), so that
                      all of them wait in its queue at once, as in the
                      queue of a program that is busy
     rect             print the window rectangle and the client size:
                      left top right bottom width height
     pixel X Y...     print the colour on the screen of each client pixel as
                      COLORREF hex (0xBBGGRR without the 0x), one a line;
                      what covers the window is read instead
     list             print each visible top-level window (of -p PID):
                      handle pid class left top right bottom "title"
     watch            with -p: until that process has ended (at most -w MS),
                      print each of its top-level windows the first time it
                      is seen visible, then "ended"
     record [TEXT MS] print every text set on the window, in order, until
                      the window is destroyed; "ready" comes first, once the
                      recording is in place. With TEXT and MS, the watched
                      thread is held for MS milliseconds (at most 4000) when
                      TEXT is set, before the window takes it: the window
                      still shows the text before. Needs winctlhook.dll
                      beside this program: it runs inside the watched thread.
     kill             with -p: end that process

   Numbers may be negative, decimal or 0x hex, and are cut to 32 bits.
   Output goes to stdout. Exit code: 0 done, 1 window not found in time or
   the command failed, 2 bad arguments. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tool_window.h"

typedef struct {
    const char *className;
    const char *title;
    DWORD processId;
    int visibleOnly;
    HWND found;
} Selection;

static DWORD Number(const char *text)
{
    return (DWORD)strtoull(text, NULL, 0);
}

static int Matches(HWND window, const Selection *select)
{
    char text[512];
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (select->processId && processId != select->processId)
        return 0;
    if (select->visibleOnly && !IsWindowVisible(window))
        return 0;
    if (select->className) {
        GetClassNameA(window, text, sizeof text);
        if (lstrcmpiA(text, select->className))
            return 0;
    }
    if (select->title) {
        GetWindowTextA(window, text, sizeof text);
        if (strcmp(text, select->title))
            return 0;
    }
    return 1;
}

static BOOL CALLBACK FindMatch(HWND window, LPARAM data)
{
    Selection *select = (Selection *)data;
    if (!Matches(window, select))
        return TRUE;
    select->found = window;
    return FALSE;
}

static HWND FindSelected(Selection *select)
{
    select->found = NULL;
    EnumWindows(FindMatch, (LPARAM)select);
    return select->found;
}

static void PrintWindowLine(HWND window)
{
    char className[256], title[512];
    RECT r;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    GetWindowRect(window, &r);
    printf("0x%lx %lu %s %ld %ld %ld %ld \"%s\"\n", (unsigned long)(ULONG_PTR)window, processId, className,
           r.left, r.top, r.right, r.bottom, title);
}

static BOOL CALLBACK ListVisible(HWND window, LPARAM data)
{
    Selection *select = (Selection *)data;
    if (Matches(window, select))
        PrintWindowLine(window);
    return TRUE;
}

/* Windows of `watch` already printed. */
static HWND seen[256];
static int seenCount;

static BOOL CALLBACK PrintNewlyVisible(HWND window, LPARAM data)
{
    if (!Matches(window, (Selection *)data))
        return TRUE;
    for (int i = 0; i < seenCount; i++)
        if (seen[i] == window)
            return TRUE;
    if (seenCount < 256)
        seen[seenCount++] = window;
    PrintWindowLine(window);
    fflush(stdout);
    return TRUE;
}

static int Watch(Selection *select, DWORD timeout)
{
    if (!select->processId)
        return 2;
    select->visibleOnly = 1;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, select->processId);
    DWORD start = GetTickCount();
    int result = 0;
    for (;;) {
        EnumWindows(PrintNewlyVisible, (LPARAM)select);
        if (!process || WaitForSingleObject(process, 1) == WAIT_OBJECT_0)
            break;
        if (GetTickCount() - start > timeout) {
            result = 1;
            break;
        }
    }
    if (process)
        CloseHandle(process);
    printf(result ? "still running\n" : "ended\n");
    return result;
}

/* The hook's export: stdcall names carry their argument bytes on i386 only. */
#ifdef _WIN64
#define HOOK_EXPORT "RecordTextHook"
#else
#define HOOK_EXPORT "RecordTextHook@12"
#endif

/* The window whose texts `record` prints; texts of other windows of the
   same thread are passed on too and dropped here. */
static HWND recorded;
static const char *holdText;
static DWORD holdTime;

static LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT *data = (const COPYDATASTRUCT *)lParam;
        if ((HWND)data->dwData == recorded && data->cbData > 0) {
            const char *text = (const char *)data->lpData;
            printf("%.*s\n", (int)data->cbData - 1, text);
            fflush(stdout);
            /* The sender waits for this reply: a late one holds it. */
            if (holdText && data->cbData == strlen(holdText) + 1 && !memcmp(text, holdText, data->cbData))
                Sleep(holdTime);
        }
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static int Record(HWND target)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    char *slash = strrchr(path, '\\');
    if (length == 0 || length >= MAX_PATH || !slash || slash - path + sizeof "\\winctlhook.dll" > MAX_PATH)
        return 1;
    strcpy(slash, "\\winctlhook.dll");
    HMODULE hookModule = LoadLibraryA(path);
    HOOKPROC hook = hookModule ? (HOOKPROC)(void *)GetProcAddress(hookModule, HOOK_EXPORT) : NULL;
    if (!hook) {
        fprintf(stderr, "winctl: cannot load %s\n", path);
        return 1;
    }

    /* The hook finds this window by the watched thread's id as its title. */
    DWORD thread = GetWindowThreadProcessId(target, NULL);
    char title[16];
    sprintf(title, "%lu", thread);
    HWND recorder = CreateToolWindow("WinctlRecorder", title, RecorderProc, WS_POPUP, 0);
    recorded = target;
    /* Wine runs a hook in another process only when it is global; the hook
       passes on only what the watched thread sends. */
    HHOOK installed = recorder ? SetWindowsHookExA(WH_CALLWNDPROC, hook, hookModule, 0) : NULL;
    if (!installed) {
        fprintf(stderr, "winctl: cannot hook thread %lu\n", thread);
        return 1;
    }
    /* A running thread learns of a new hook only when it next takes a message
       from the server: hand it one, and wait until it is through. */
    DWORD_PTR ignored;
    if (!SendMessageTimeoutA(target, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored)) {
        fprintf(stderr, "winctl: the watched thread does not answer\n");
        UnhookWindowsHookEx(installed);
        return 1;
    }
    printf("ready\n");
    fflush(stdout);

    while (IsWindow(target)) {
        MSG message;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
    UnhookWindowsHookEx(installed);
    DestroyWindow(recorder);
    return 0;
}

static int PressKey(HWND target, const char *key)
{
    UINT vk = !strcmp(key, "esc") ? VK_ESCAPE : !strcmp(key, "enter") ? VK_RETURN : Number(key);
    LPARAM scan = (LPARAM)MapVirtualKeyA(vk, MAPVK_VK_TO_VSC) << 16;
    if (!PostMessageA(target, WM_KEYDOWN, vk, scan | 1))
        return 1;
    /* The key down may have ended a dialog already (Enter is its OK), and
       with it the window the key up was for. */
    PostMessageA(target, WM_KEYUP, vk, scan | 1 | (1u << 30) | (1u << 31));
    /* Posted input has no reply to wait for. */
    Sleep(200);
    return 0;
}

/* `count` copies of a message, posted while the window's thread is held;
   1 when all were posted. */
static int PostMany(HWND target, UINT message, WPARAM wParam, LPARAM lParam, DWORD count)
{
    if (count == 1)
        return PostMessageA(target, message, wParam, lParam);
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(target, NULL));
    if (!thread || SuspendThread(thread) == (DWORD)-1) {
        fprintf(stderr, "winctl: cannot hold the window's thread\n");
        return 0;
    }
    DWORD posted = 0;
    while (posted < count && PostMessageA(target, message, wParam, lParam))
        posted++;
    ResumeThread(thread);
    CloseHandle(thread);
    if (posted < count)
        fprintf(stderr, "winctl: posted %lu of %lu: error %lu\n", posted, count, GetLastError());
    return posted == count;
}

static int Usage(void)
{
    fprintf(stderr, "usage: winctl [-c CLASS] [-t TITLE] [-p PID] [-h HWND] [-v] [-i ID] [-w MS] COMMAND ...\n");
    return 2;
}

int main(int argc, char **argv)
{
    Selection select = {NULL, NULL, 0, 0, NULL};
    HWND handle = NULL;
    int controlId = -1;
    DWORD timeout = 10000;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; i++) {
        const char *option = argv[i];
        if (!strcmp(option, "-v")) {
            select.visibleOnly = 1;
            continue;
        }
        if (i + 1 >= argc || option[2])
            return Usage();
        const char *value = argv[++i];
        switch (option[1]) {
        case 'c': select.className = value; break;
        case 't': select.title = value; break;
        case 'p': select.processId = Number(value); break;
        case 'h': handle = (HWND)(ULONG_PTR)Number(value); break;
        case 'i': controlId = (int)Number(value); break;
        case 'w': timeout = Number(value); break;
        default: return Usage();
        }
    }
    if (i >= argc)
        return Usage();
    const char *command = argv[i++];
    int rest = argc - i;
    char **args = argv + i;

    if (!strcmp(command, "list")) {
        select.visibleOnly = 1;
        EnumWindows(ListVisible, (LPARAM)&select);
        return 0;
    }
    if (!strcmp(command, "watch"))
        return Watch(&select, timeout);
    if (!strcmp(command, "kill")) {
        HANDLE process = select.processId ? OpenProcess(PROCESS_TERMINATE, FALSE, select.processId) : NULL;
        int ended = process && TerminateProcess(process, 1);
        if (process)
            CloseHandle(process);
        return !ended;
    }

    DWORD start = GetTickCount();
    HWND window;
    for (;;) {
        window = handle ? (IsWindow(handle) ? handle : NULL) : FindSelected(&select);
        int done = !strcmp(command, "gone") ? window == NULL : window != NULL;
        if (done)
            break;
        if (GetTickCount() - start > timeout) {
            fprintf(stderr, "winctl: %s: timed out\n", command);
            return 1;
        }
        Sleep(5);
    }
    if (!strcmp(command, "gone"))
        return 0;

    HWND target = window;
    if (controlId != -1) {
        target = GetDlgItem(window, controlId);
        if (!target) {
            fprintf(stderr, "winctl: no control %d\n", controlId);
            return 1;
        }
    }

    if (!strcmp(command, "wait")) {
        printf("0x%lx\n", (unsigned long)(ULONG_PTR)target);
    } else if (!strcmp(command, "text")) {
        /* Asked for, not read from the caption that the system keeps, which
           for a control of another program is its text at creation. */
        char text[1024] = "";
        DWORD_PTR ignored;
        if (!SendMessageTimeoutA(target, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_NORMAL, timeout, &ignored))
            return 1;
        printf("%s\n", text);
    } else if (!strcmp(command, "utext")) {
        WCHAR wide[1024] = L"";
        char text[4096];
        DWORD_PTR ignored;
        if (!SendMessageTimeoutW(target, WM_GETTEXT, 1024, (LPARAM)wide, SMTO_NORMAL, timeout, &ignored) ||
            !WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, NULL, NULL))
            return 1;
        printf("%s\n", text);
    } else if (!strcmp(command, "click")) {
        return !PostMessageA(target, BM_CLICK, 0, 0);
    } else if (!strcmp(command, "command") && rest == 1) {
        return !PostMessageA(window, WM_COMMAND, Number(args[0]), 0);
    } else if (!strcmp(command, "type") && rest == 1) {
        for (const char *c = args[0]; *c; c++) {
            DWORD_PTR ignored;
            if (!SendMessageTimeoutA(target, WM_CHAR, (unsigned char)*c, 1, SMTO_NORMAL, timeout, &ignored))
                return 1;
        }
    } else if (!strcmp(command, "key") && rest == 1) {
        return PressKey(target, args[0]);
    } else if ((!strcmp(command, "send") && rest >= 1 && rest <= 3) ||
               (!strcmp(command, "post") && rest >= 1 && rest <= 4)) {
        UINT message = Number(args[0]);
        WPARAM wParam = rest > 1 ? Number(args[1]) : 0;
        LPARAM lParam = rest > 2 ? (LPARAM)Number(args[2]) : 0;
        if (command[0] == 'p')
            return !PostMany(target, message, wParam, lParam, rest > 3 ? Number(args[3]) : 1);
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(target, message, wParam, lParam, SMTO_NORMAL, timeout, &result))
            return 1;
        printf("%ld\n", (long)result);
    } else if (!strcmp(command, "rect")) {
        RECT r, client;
        GetWindowRect(target, &r);
        GetClientRect(target, &client);
        printf("%ld %ld %ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom, client.right, client.bottom);
    } else if (!strcmp(command, "pixel") && rest >= 2 && rest % 2 == 0) {
        /* Read off the screen: a window of another program cannot be read
           through a DC of its own under Wine. */
        HDC dc = GetDC(NULL);
        for (int k = 0; k < rest; k += 2) {
            POINT p = {(LONG)Number(args[k]), (LONG)Number(args[k + 1])};
            ClientToScreen(target, &p);
            COLORREF colour = GetPixel(dc, p.x, p.y);
            if (colour == CLR_INVALID)
                printf("invalid\n");
            else
                printf("%06lx\n", colour);
        }
        ReleaseDC(NULL, dc);
    } else if (!strcmp(command, "record") && (rest == 0 || rest == 2)) {
        if (rest == 2) {
            holdText = args[0];
            holdTime = Number(args[1]);
            if (holdTime > 4000)
                return Usage();
        }
        return Record(target);
    } else {
        return Usage();
    }
    return 0;
}
