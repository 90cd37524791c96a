// The progress window: class "Progress", its owner-drawn bar and updates.
#ifndef UI_PROGRESS_H
#define UI_PROGRESS_H

#include <windows.h>

#define WM_UPDATEPROGRESS (WM_USER + 100)

void CreateFramePens();
void DeleteFramePens();
// Registers class "Progress" and creates the hidden dialog, setting
// progressWindow and progressBar.
void CreateProgressWindow(HINSTANCE instance);
// Handles every message waiting for this thread, without blocking.
void DrainMessages();
// Redraws the percentage; handles no message.
void UpdateProgress(int fileDonePercent);
// Centres a window on the screen, keeping its size; the password dialog too.
void CentreOnScreen(HWND window);
LRESULT CALLBACK ProgressWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void DrawSunkenFrame(HDC dc, const RECT *rectangle);
void DrawProgressBar(const DRAWITEMSTRUCT *item);

#endif
