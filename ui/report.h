// Every message of the launcher: a message box, or a log line when silent.
#ifndef UI_REPORT_H
#define UI_REPORT_H

#include <windows.h>

// A message box shows the UTF-16 text as it is; a log line holds it in the
// ANSI code page.
int ReportMessage(HWND owner, const WCHAR *text, const WCHAR *caption, UINT type);
// Loads the caption into messageCaption and string `id` into messageText,
// formats it with the arguments that follow (an ANSI string for "%s", an int
// for "%d", in the order of the format's fields), and reports it.
int ReportString(HWND owner, UINT type, UINT id, ...);
HWND GetMessageOwner();
void OpenSilentLog(HINSTANCE instance);

#endif
