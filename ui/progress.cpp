#include "ui/progress.h"
#include "launcher/globals.h"
#include "package/extract.h"
#include "package/remove.h"
#include "resources/resource.h"

// WM_UPDATEPROGRESS may come from any program with any wParam. Up to this
// bound the argument is taken as it is and the steps give what 32-bit
// arithmetic gives wherever that does not overflow; beyond it the argument
// is clamped.
static const int FILE_DONE_LIMIT = 10000000;
// The bar's text buffer holds 7 characters and the terminator.
static const int LOWEST_PERCENT = -999999;
static const int HIGHEST_PERCENT = 9999999;

void CreateFramePens()
{
    framePens[0] = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    framePens[1] = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNFACE));
    framePens[2] = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    framePens[3] = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNTEXT));
}

void DeleteFramePens()
{
    for (int i = 0; i < 4; i++) {
        if (framePens[i]) {
            DeleteObject(framePens[i]);
            framePens[i] = NULL;
        }
    }
}

// A Unicode class and dialog: the template's texts, a translation's too,
// reach the window as they are, never through the ANSI code page.
void CreateProgressWindow(HINSTANCE instance)
{
    WNDCLASSW windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = ProgressWndProc;
    windowClass.cbClsExtra = 0;
    // A dialog built on a class of its own keeps the dialog manager's data here.
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PACKAGE));
    windowClass.hCursor = LoadCursorA(NULL, IDC_WAIT);
    windowClass.hbrBackground = faceBrush;
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = L"Progress";
    RegisterClassW(&windowClass);

    // No dialog procedure: the class's window procedure serves the dialog.
    progressWindow = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PROGRESS), NULL, NULL, 0);
    progressBar = GetDlgItem(progressWindow, IDC_PROGRESSBAR);
}

static LONGLONG Clamp(LONGLONG value, LONGLONG lowest, LONGLONG highest)
{
    return value < lowest ? lowest : value > highest ? highest : value;
}

// The overall percentage. The order of the truncating divisions is part of
// the result: a file's blocks move the bar over a third of the file's share,
// its completion over the other two thirds. 64-bit steps cannot overflow for
// any 32-bit inputs once fileDonePercent is clamped.
static int ComputePercent(int fileDonePercent)
{
    LONGLONG fileDone = Clamp(fileDonePercent, -FILE_DONE_LIMIT, FILE_DONE_LIMIT);
    LONGLONG fileShare = ((LONGLONG)fileEndPercent - fileStartPercent) * 2 / 3;
    LONGLONG fileStep = fileShare * fileDone / 100;
    // No block count (a bad header, or an update before the header is read):
    // only the file's own share counts.
    LONGLONG blockStep = 0;
    if (totalBlocks > 0)
        blockStep = ((LONGLONG)blocksDone * 100 / totalBlocks - fileStartPercent) / 3;
    return (int)Clamp(fileStartPercent + fileStep + blockStep, LOWEST_PERCENT, HIGHEST_PERCENT);
}

// There is no other message loop: the loops that own the run (the copy loop
// and the waits) call this, never a message handler, so that an update
// handled here never handles the next one inside itself. It keeps every
// window of the thread alive, and lets the end of the session reach the
// progress window.
void DrainMessages()
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void UpdateProgress(int fileDonePercent)
{
    int percent = ComputePercent(fileDonePercent);
    if (percent != shownPercent) {
        char text[8];
        shownPercent = percent;
        wsprintfA(text, "%d", percent);
        // The bar's text is what DrawProgressBar shows; no erase, it paints
        // every pixel itself.
        SetWindowTextA(progressBar, text);
        InvalidateRect(progressBar, NULL, FALSE);
        UpdateWindow(progressBar);
    }
    // A hidden window paints nothing; asking costs a server round trip per
    // block under Wine.
    if (IsWindowVisible(progressWindow))
        UpdateWindow(progressWindow);
}

void CentreOnScreen(HWND window)
{
    RECT frame;
    GetWindowRect(window, &frame);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    MoveWindow(window, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, TRUE);
}

LRESULT CALLBACK ProgressWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        CentreOnScreen(window);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_QUERYENDSESSION:
        return 1;
    case WM_ENDSESSION:
        if (wParam) {
            // The output file being written must be closed before it can be
            // deleted; the extraction then stops at its next step.
            AbandonExtraction();
            RemoveExtractedFiles(moduleHandle);
            sessionEnded = 1;
            DestroyWindow(progressWindow);
        }
        return 0;
    case WM_SETCURSOR:
        SetCursor(LoadCursorA(NULL, IDC_WAIT));
        return 1;
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
        int saved = SaveDC(item->hDC);
        DrawProgressBar(item);
        RestoreDC(item->hDC, saved);
        break;
    }
    case WM_UPDATEPROGRESS:
        UpdateProgress(static_cast<int>(wParam));
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
