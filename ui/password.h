// The password gate: from -p, or from the password dialog.
#ifndef UI_PASSWORD_H
#define UI_PASSWORD_H

#include <windows.h>

enum { PASSWORD_ACCEPTED = 1586 };

int CheckPassword();
INT_PTR CALLBACK PasswordDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
