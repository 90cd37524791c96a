// Every message of the launcher: a message box, or a log line when silent.
#ifndef UI_REPORT_H
#define UI_REPORT_H

#include <windows.h>

int ReportMessage(HWND owner, const char *text, const char *caption, UINT type);
HWND GetMessageOwner();
void OpenSilentLog(HINSTANCE instance);

#endif
