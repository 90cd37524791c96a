// The password gate: -p, silent mode, and the dialog typed into from a
// second thread as a user's keys arrive, through the dialog's own loop.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "launcher/globals.h"
#include "resources/resource.h"
#include "ui/password.h"

namespace {

class Password : public testing::Test {
protected:
    void SetUp() override
    {
        moduleHandle = GetModuleHandleA(NULL);
        silentMode = 0;
        commandLinePassword[0] = '\0';
        commandLinePasswordTooLong = 0;
        lstrcpynA(storedPassword, "Secret-7", PASSWORD_BUFFER_SIZE);
    }
};

TEST_F(Password, CommandLinePasswordIsComparedExactlyWithoutADialog)
{
    lstrcpynA(commandLinePassword, "Secret-7", PASSWORD_BUFFER_SIZE);
    EXPECT_EQ(1, CheckPassword());
    lstrcpynA(commandLinePassword, "secret-7", PASSWORD_BUFFER_SIZE);
    EXPECT_EQ(0, CheckPassword());
    lstrcpynA(commandLinePassword, "Secret-", PASSWORD_BUFFER_SIZE);
    EXPECT_EQ(0, CheckPassword());

    // Silent: the -p text or nothing; never a dialog.
    silentMode = 1;
    EXPECT_EQ(0, CheckPassword());
    commandLinePassword[0] = '\0';
    EXPECT_EQ(0, CheckPassword());
    storedPassword[0] = '\0';
    EXPECT_EQ(1, CheckPassword());
}

// This process's visible top-level dialog: other programs may show dialogs
// with the same caption at the same time.
BOOL CALLBACK FindOwnDialog(HWND window, LPARAM found)
{
    DWORD process = 0;
    char className[16];
    GetWindowThreadProcessId(window, &process);
    GetClassNameA(window, className, sizeof className);
    if (process != GetCurrentProcessId() || lstrcmpA(className, "#32770") || !IsWindowVisible(window))
        return TRUE;
    *reinterpret_cast<HWND *>(found) = window;
    return FALSE;
}

// The user, on another thread: waits for the dialog, looks at it, types
// and presses keys. Posted keys go through the dialog's own loop, so
// Escape and Enter reach it as a user's would.
struct User {
    HWND dialog = NULL;
    HWND field = NULL;
    std::string caption;
    std::string prompt;
    bool centred = false;
    bool focusInField = false;
    bool hasSystemMenu = true;
    bool stillOpenAfterEscape = false;
    bool stillOpenAfterCancel = false;
    std::string typedText;

    bool Find(DWORD timeout = 5000)
    {
        for (DWORD start = GetTickCount(); !dialog && GetTickCount() - start < timeout;) {
            EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&dialog));
            if (!dialog)
                Sleep(5);
        }
        if (!dialog)
            return false;
        field = GetDlgItem(dialog, IDC_PASSWORD);
        char text[256];
        GetWindowTextA(dialog, text, sizeof text);
        caption = text;
        GetWindowTextA(GetDlgItem(dialog, IDC_STATUSTEXT), text, sizeof text);
        prompt = text;
        RECT r;
        GetWindowRect(dialog, &r);
        centred = r.left == (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2 &&
                  r.top == (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
        // Under Wine the focus may arrive a moment after the dialog shows.
        for (DWORD start = GetTickCount(); !focusInField && GetTickCount() - start < 2000;) {
            GUITHREADINFO gui = {sizeof gui};
            GetGUIThreadInfo(GetWindowThreadProcessId(dialog, NULL), &gui);
            focusInField = gui.hwndFocus == field;
            if (!focusInField)
                Sleep(5);
        }
        hasSystemMenu = (GetWindowLongA(dialog, GWL_STYLE) & WS_SYSMENU) != 0;
        return true;
    }

    // Characters are sent, not posted: each is handled before the next, and
    // before the text is read back.
    void Type(const std::string &text)
    {
        DWORD_PTR ignored;
        for (char c : text)
            SendMessageTimeoutA(field, WM_CHAR, static_cast<unsigned char>(c), 1, SMTO_NORMAL, 5000, &ignored);
    }

    void Key(UINT vk)
    {
        PostMessageA(field, WM_KEYDOWN, vk, 1);
        PostMessageA(field, WM_KEYUP, vk, 0xC0000001);
    }

    // Waits until every posted key has been handled: a message sent to the
    // field is handled only after the ones posted before it were taken.
    void Settle()
    {
        DWORD_PTR ignored;
        SendMessageTimeoutA(field, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
        Sleep(20);
        SendMessageTimeoutA(field, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    }

    // Answers the dialog that Find found.
    void Answer(const std::string &text)
    {
        Key(VK_ESCAPE);
        Settle();
        stillOpenAfterEscape = IsWindow(dialog) && IsWindowVisible(dialog);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, EN_CHANGE), 0);
        Settle();
        stillOpenAfterCancel = IsWindow(dialog) && IsWindowVisible(dialog);
        Type(text);
        Settle();
        char typed[128];
        GetWindowTextA(field, typed, sizeof typed);
        typedText = typed;
        Key(VK_RETURN);
    }
};

// CheckPassword's result while `user` waits up to `wait` ms for the dialog
// and answers `text` when it comes.
int AskWithDialog(User &user, const std::string &text, DWORD wait = 5000)
{
    std::thread answer([&] {
        if (user.Find(wait))
            user.Answer(text);
    });
    int result = CheckPassword();
    answer.join();
    return result;
}

TEST_F(Password, ATooLongCommandLinePasswordIsRefusedWithoutADialog)
{
    // The switch reader keeps no part of it; a stored password equal to its
    // first 39 characters must not match, and no dialog is offered instead.
    std::string first39(39, 'k');
    lstrcpynA(storedPassword, first39.c_str(), PASSWORD_BUFFER_SIZE);
    commandLinePasswordTooLong = 1;
    // Were a dialog shown, this user would find it and type the password.
    User user;
    EXPECT_EQ(0, AskWithDialog(user, first39, 500));
    EXPECT_EQ(NULL, user.dialog);
}

TEST_F(Password, TheDialogAcceptsTheRightPasswordOnly)
{
    User right;
    EXPECT_EQ(1, AskWithDialog(right, "Secret-7"));
    ASSERT_TRUE(right.dialog);
    EXPECT_EQ("Tollivex Self-extracting Exe", right.caption);
    EXPECT_EQ("Please enter the password required to extract the attached files.", right.prompt);
    EXPECT_TRUE(right.centred);
    EXPECT_TRUE(right.focusInField);
    EXPECT_FALSE(right.hasSystemMenu);
    // Escape, IDCANCEL and any other command leave it open and unchanged.
    EXPECT_TRUE(right.stillOpenAfterEscape);
    EXPECT_TRUE(right.stillOpenAfterCancel);
    EXPECT_EQ("Secret-7", right.typedText);
    EXPECT_FALSE(IsWindow(right.dialog));

    // Case matters; one attempt only: a wrong entry closes the dialog.
    User wrongCase;
    EXPECT_EQ(0, AskWithDialog(wrongCase, "SECRET-7"));
    EXPECT_FALSE(IsWindow(wrongCase.dialog));
    User empty;
    EXPECT_EQ(0, AskWithDialog(empty, ""));
    EXPECT_EQ("", empty.typedText);
    // Byte for byte: a soft hyphen (0xAD in code page 1252), which the
    // locale's comparison passes over, is a character like any other.
    User softHyphen;
    EXPECT_EQ(0, AskWithDialog(softHyphen, "Secret-7\xAD"));
    EXPECT_EQ("Secret-7\xAD", softHyphen.typedText);
}

TEST_F(Password, TheFieldTakesNoFortiethCharacter)
{
    std::string stored(39, 'p');
    lstrcpynA(storedPassword, stored.c_str(), PASSWORD_BUFFER_SIZE);
    User user;
    // The 40th key is refused, so the 39 before it are the password.
    EXPECT_EQ(1, AskWithDialog(user, stored + "q"));
    EXPECT_EQ(stored, user.typedText);
}

TEST_F(Password, AnEmptyCommandLinePasswordLeadsToTheDialog)
{
    User user;
    EXPECT_EQ(0, AskWithDialog(user, "nope"));
    EXPECT_TRUE(user.dialog);
    EXPECT_EQ("nope", user.typedText);
}

TEST_F(Password, ADialogThatCannotBeCreatedIsARefusal)
{
    // A module without the dialog template.
    moduleHandle = GetModuleHandleA("kernel32.dll");
    EXPECT_EQ(0, CheckPassword());
}

}  // namespace
