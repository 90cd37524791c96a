// Messages: the silent log's place, bytes and lifetime, and the message box
// that is shown instead when the run is not silent.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "launcher/globals.h"
#include "tests/win/scratch.h"
#include "ui/report.h"

namespace {

std::string ExecutableDir()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string text = path;
    return text.substr(0, text.rfind('\\') + 1);
}

class SilentLog : public testing::Test {
protected:
    void SetUp() override
    {
        silentMode = 1;
        logFilePath[0] = '\0';
        dir = scratch::MakeDir("report");
    }
    void TearDown() override
    {
        silentMode = 0;
        scratch::RemoveTree(dir);
    }
    void Open(const std::string &f2Text)
    {
        lstrcpynA(logFilePath, f2Text.c_str(), PATH_BUFFER_SIZE);
        OpenSilentLog(GetModuleHandleA(NULL));
    }
    std::string dir;
};

TEST_F(SilentLog, LinesEndInCrLfAndEveryAnswerIsOne)
{
    std::string log = dir + "\\run.log";
    Open(log);
    EXPECT_EQ(log, logFilePath);
    EXPECT_TRUE(scratch::Exists(log));
    EXPECT_EQ("", scratch::ReadFile(log));

    EXPECT_EQ(1, ReportMessage(NULL, L"Extract failed: return from extract=-10", L"caption", MB_OK));
    // A Yes/No question answers 1, which is never IDNO.
    EXPECT_EQ(1, ReportMessage(NULL, L"This will install X. Do you wish to continue?", L"caption", MB_YESNO));
    EXPECT_EQ(1, ReportMessage(NULL, L"two\nlines", L"caption", MB_OK));
    EXPECT_EQ(1, ReportMessage(NULL, L"", L"caption", MB_OK));
    EXPECT_EQ("Extract failed: return from extract=-10\r\n"
              "This will install X. Do you wish to continue?\r\n"
              "two\r\nlines\r\n"
              "\r\n",
              scratch::ReadFile(log));
}

TEST_F(SilentLog, LongTextWithManyLineFeedsIsWrittenWhole)
{
    std::string log = dir + "\\long.log";
    Open(log);
    std::string text, expected;
    for (int i = 0; i < 300; i++) {
        text += i % 3 ? "x" : "\n";
        expected += i % 3 ? "x" : "\r\n";
    }
    ReportMessage(NULL, std::wstring(text.begin(), text.end()).c_str(), L"caption", MB_OK);
    EXPECT_EQ(expected + "\r\n", scratch::ReadFile(log));
}

TEST_F(SilentLog, OpeningEmptiesALogThatOthersMayStillReadAndWrite)
{
    std::string log = dir + "\\run.log";
    scratch::WriteFile(log, "line of an earlier run\r\n");
    Open(log);
    EXPECT_EQ("", scratch::ReadFile(log));

    // Deny-none sharing: the launcher appends while another program holds
    // the log open for writing and deleting.
    HANDLE other = CreateFileA(log.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    ReportMessage(NULL, L"first", L"caption", MB_OK);
    CloseHandle(other);
    ReportMessage(NULL, L"second", L"caption", MB_OK);
    EXPECT_EQ("first\r\nsecond\r\n", scratch::ReadFile(log));

    // A second silent run starts from an empty log again.
    Open(log);
    EXPECT_EQ("", scratch::ReadFile(log));
    EXPECT_TRUE(scratch::Exists(log));
}

TEST_F(SilentLog, AppendingRecreatesADeletedLog)
{
    std::string log = dir + "\\run.log";
    Open(log);
    ASSERT_TRUE(DeleteFileA(log.c_str()));
    ReportMessage(NULL, L"after", L"caption", MB_OK);
    EXPECT_EQ("after\r\n", scratch::ReadFile(log));
}

TEST_F(SilentLog, ALogThatCannotBeOpenedDropsTheMessage)
{
    std::string log = dir + "\\missing\\run.log";
    Open(log);
    EXPECT_EQ(log, logFilePath);
    EXPECT_EQ(1, ReportMessage(NULL, L"lost", L"caption", MB_YESNO));
    EXPECT_FALSE(scratch::Exists(log));
    EXPECT_FALSE(scratch::Exists(dir + "\\missing"));
}

TEST_F(SilentLog, PlacesTheLogBesideTheExecutableUnlessThePathHasADirectory)
{
    std::string exeDir = ExecutableDir();

    // No -f2, or -f2 with nothing after it.
    Open("");
    EXPECT_EQ(exeDir + "SETUP.LOG", logFilePath);
    EXPECT_TRUE(scratch::Exists(exeDir + "SETUP.LOG"));
    ReportMessage(NULL, L"default place", L"caption", MB_OK);
    EXPECT_EQ("default place\r\n", scratch::ReadFile(exeDir + "SETUP.LOG"));
    DeleteFileA((exeDir + "SETUP.LOG").c_str());

    // A bare name: beside the executable, not in the current directory.
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    std::string bare = "report-test-bare.log";
    Open(bare);
    EXPECT_EQ(exeDir + bare, logFilePath);
    EXPECT_TRUE(scratch::Exists(exeDir + bare));
    EXPECT_FALSE(scratch::Exists(dir + "\\" + bare));
    DeleteFileA((exeDir + bare).c_str());

    // A backslash after the first character: relative to the current
    // directory, as it is when the log is opened.
    CreateDirectoryA((dir + "\\sub").c_str(), NULL);
    Open("sub\\relative.log");
    EXPECT_EQ(dir + "\\sub\\relative.log", std::string(logFilePath));
    EXPECT_TRUE(scratch::Exists(dir + "\\sub\\relative.log"));
    SetCurrentDirectoryA(previous);
}

TEST_F(SilentLog, AJoinedPathBeyond259CharactersIsRefusedNotCut)
{
    std::string exeDir = ExecutableDir();
    // Exactly 259 characters still fit.
    std::string fits(259 - exeDir.size() - 4, 'f');
    fits += ".log";
    Open(fits);
    EXPECT_EQ(259u, std::string(logFilePath).size());
    EXPECT_TRUE(scratch::Exists(exeDir + fits));
    DeleteFileA((exeDir + fits).c_str());

    std::string tooLong(260 - exeDir.size() - 4, 'g');
    tooLong += ".log";
    Open(tooLong);
    EXPECT_EQ("", std::string(logFilePath));
    EXPECT_EQ(1, ReportMessage(NULL, L"nowhere", L"caption", MB_OK));
    EXPECT_FALSE(scratch::Exists(exeDir + tooLong.substr(0, tooLong.size() - 1)));
    EXPECT_FALSE(scratch::Exists(exeDir + "SETUP.LOG"));
}

// The interactive side: a message box with the text, caption and buttons
// asked for, no icon, and the pressed button as the result.
struct BoxSeen {
    std::string text;
    std::string caption;
    bool hasIcon = true;
    bool hasOwner = true;
};

BoxSeen AnswerBox(int button)
{
    BoxSeen seen;
    HWND box = NULL;
    for (int i = 0; i < 1000 && !box; i++) {
        // This process's box: another program may show one at the same time.
        box = FindWindowA("#32770", "Report caption");
        DWORD process = 0;
        GetWindowThreadProcessId(box, &process);
        if (process != GetCurrentProcessId()) {
            box = NULL;
            Sleep(5);
        }
    }
    if (!box)
        return seen;
    char text[256];
    GetWindowTextA(GetDlgItem(box, 0xFFFF), text, sizeof text);
    seen.text = text;
    GetWindowTextA(box, text, sizeof text);
    seen.caption = text;
    // The icon of a message box is its static control 1088 (0x440).
    HWND icon = GetDlgItem(box, 0x440);
    seen.hasIcon = icon && IsWindowVisible(icon) && SendMessageA(icon, STM_GETICON, 0, 0);
    seen.hasOwner = GetWindow(box, GW_OWNER) != NULL;
    PostMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0);
    return seen;
}

TEST(MessageBoxReport, ShowsTheTextWithoutIconAndReturnsTheButton)
{
    silentMode = 0;
    EXPECT_EQ(NULL, GetMessageOwner());

    struct Case {
        UINT type;
        int button;
    } cases[] = {{MB_OK, IDOK}, {MB_YESNO, IDYES}, {MB_YESNO, IDNO}};
    for (const Case &c : cases) {
        BoxSeen seen;
        std::thread answer([&] { seen = AnswerBox(c.button); });
        int result = ReportMessage(GetMessageOwner(), L"This will install Product. Do you wish to continue?",
                                   L"Report caption", c.type);
        answer.join();
        EXPECT_EQ(c.button, result);
        EXPECT_EQ("This will install Product. Do you wish to continue?", seen.text);
        EXPECT_EQ("Report caption", seen.caption);
        EXPECT_FALSE(seen.hasIcon);
        EXPECT_FALSE(seen.hasOwner);
    }
}

}  // namespace
