#include "ui/password.h"
#include "launcher/globals.h"
#include "resources/resource.h"
#include "ui/progress.h"
#include "ui/report.h"

// Byte for byte, not by lstrcmpA: the locale's rules pass over some
// characters (a soft hyphen, 0xAD in code page 1252), so "sec\xADret" would
// open a package locked with "secret".
static int MatchesStoredPassword(const char *given)
{
    int i = 0;
    while (given[i] && given[i] == storedPassword[i])
        i++;
    return given[i] == storedPassword[i];
}

int CheckPassword()
{
    // A -p text too long for its buffer was never stored: it matches nothing,
    // and the dialog is not offered in its place.
    if (commandLinePasswordTooLong)
        return 0;
    if (commandLinePassword[0] || silentMode)
        return MatchesStoredPassword(commandLinePassword);
    // Unicode, so that a translated prompt is shown whatever the code page.
    INT_PTR result = DialogBoxParamW(moduleHandle, MAKEINTRESOURCEW(IDD_PASSWORD), GetMessageOwner(),
                                     PasswordDlgProc, 0);
    return result == PASSWORD_ACCEPTED;
}

INT_PTR CALLBACK PasswordDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SendDlgItemMessageA(dialog, IDC_PASSWORD, EM_LIMITTEXT, PASSWORD_BUFFER_SIZE - 1, 0);
        CentreOnScreen(dialog);
        return TRUE;
    }
    // Only OK or Enter leaves the dialog; Escape (IDCANCEL) is ignored.
    if (message == WM_COMMAND && wParam == IDOK) {
        char typed[PASSWORD_BUFFER_SIZE];
        GetWindowTextA(GetDlgItem(dialog, IDC_PASSWORD), typed, PASSWORD_BUFFER_SIZE);
        EndDialog(dialog, MatchesStoredPassword(typed) ? PASSWORD_ACCEPTED : 0);
    }
    return FALSE;
}
