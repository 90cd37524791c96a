/* Loaded by `winctl record` into the thread that owns the watched window:
   every WM_SETTEXT that the thread sends is passed on, synchronously and in
   order, to winctl's hidden window of class "WinctlRecorder" as WM_COPYDATA
   (dwData the window, the data the new text). Polling would miss values that
   a fast program sets and replaces between two looks. */
#include <windows.h>

__declspec(dllexport) LRESULT CALLBACK RecordTextHook(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT *call = (const CWPSTRUCT *)lParam;
    if (code == HC_ACTION && call->message == WM_SETTEXT && call->lParam) {
        char title[16];
        wsprintfA(title, "%lu", GetCurrentThreadId());
        HWND recorder = FindWindowA("WinctlRecorder", title);
        if (recorder) {
            const char *text = (const char *)call->lParam;
            COPYDATASTRUCT data;
            DWORD_PTR ignored;
            data.dwData = (ULONG_PTR)call->hwnd;
            data.cbData = (DWORD)lstrlenA(text) + 1;
            data.lpData = (void *)text;
            /* A recorder that hangs must not hang the watched program for long. */
            SendMessageTimeoutA(recorder, WM_COPYDATA, 0, (LPARAM)&data, SMTO_NORMAL, 5000, &ignored);
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}
