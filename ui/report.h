// Every message of the launcher: a message box, or a log line when silent.
#ifndef UI_REPORT_H
#define UI_REPORT_H

#include <windows.h>

int ReportMessage(HWND owner, const char *text, const char *caption, UINT type);
// Loads the caption into messageCaption and string `id` into messageText,
// formats it with the arguments that follow, and reports it.
int ReportString(HWND owner, UINT type, UINT id, ...);
HWND GetMessageOwner();
void OpenSilentLog(HINSTANCE instance);

#endif
