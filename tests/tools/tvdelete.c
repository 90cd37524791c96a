/* Keeps a top-level window of class "tvdelete" for a while, as the program
   that the launcher waits for after its setup program, then destroys it and
   exits.

   tvdelete MS [WATCHED RECORD]
     MS       how long the window is kept, in milliseconds
     WATCHED  a file whose presence is recorded just before the window goes
     RECORD   gets "created <time>" once the window exists and
              "destroyed <time> present|missing" just before it goes;
              times in milliseconds since 1970 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "tool_window.h"

static unsigned long long NowMs(void)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    return (t.QuadPart - 116444736000000000ULL) / 10000;
}

int main(int argc, char **argv)
{
    if (argc != 2 && argc != 4)
        return 120;
    DWORD keep = (DWORD)atoi(argv[1]);
    const char *watched = argc == 4 ? argv[2] : NULL;
    const char *record = argc == 4 ? argv[3] : NULL;

    HWND window = CreateToolWindow("tvdelete", "tvdelete", DefWindowProcA, WS_OVERLAPPED, 10);
    if (!window)
        return 121;
    FILE *out = record ? fopen(record, "wb") : NULL;
    if (out) {
        fprintf(out, "created %llu\n", NowMs());
        fflush(out);
    }

    DWORD start = GetTickCount();
    for (;;) {
        DWORD passed = GetTickCount() - start;
        if (passed >= keep)
            break;
        MsgWaitForMultipleObjects(0, NULL, FALSE, keep - passed, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }

    if (out) {
        fprintf(out, "destroyed %llu %s\n", NowMs(),
                GetFileAttributesA(watched) != INVALID_FILE_ATTRIBUTES ? "present" : "missing");
        fclose(out);
    }
    DestroyWindow(window);
    return 0;
}
