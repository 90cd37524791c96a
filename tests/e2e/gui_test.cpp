// The launcher's windows under Wine, driven as a user and other programs
// would: the install question, the password dialog typed into, the bar's
// percentages as the run goes, WM_UPDATEPROGRESS from another program, and
// no window at all in silent mode.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

const char BOX_CAPTION[] = "Tollivex Self-extracting EXE";
const char DIALOG_CAPTION[] = "Tollivex Self-extracting Exe";

const uint32_t WHEN = DosDateTime(2024, 2, 3, 4, 5, 6);

// Files of 4 and 6 blocks of 8192 bytes: 10 blocks in all.
sfxpack::Package TenBlocks()
{
    sfxpack::Package package;
    package.entries.push_back(MakeEntry("first.bin", 4 * 8192, 1, WHEN));
    package.entries.push_back(MakeEntry("sub\\second.bin", 5 * 8192 + 100, 2, WHEN));
    return package;
}

class Gui : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(dir / "temp");
    }
    void TearDown() override
    {
        // A launcher left waiting for an answer must not outlive the test.
        if (pid != 0 && !ended)
            Tool({"-p", std::to_string(pid), "kill"});
    }

    // Starts the package without waiting; its Windows process id is `pid`.
    void Start(const sfxpack::Package &package, const std::string &arguments,
               const std::map<std::string, std::string> &environment = {})
    {
        WritePackage(dir / "pkg.exe", package);
        std::vector<std::string> args = {"-n", "-e", "TEMP=" + WinePath(dir / "temp"), "-d", WinePath(dir.path())};
        for (const auto &[name, value] : environment) {
            args.push_back("-e");
            args.push_back(name + "=" + value);
        }
        args.push_back("-c");
        args.push_back("\"" + WinePath(dir / "pkg.exe") + "\" " + arguments);
        std::string output;
        ASSERT_EQ(0, RunTool("winrun", args, &output));
        pid = std::stoul(output);
        ASSERT_NE(0u, pid);
    }

    // Starts the ten blocks titled "Demo Product" and locked with "Open
    // Sesame", and waits for the question whether to install them.
    sfxpack::Package StartAtTheQuestion()
    {
        sfxpack::Package package = TenBlocks();
        package.productTitle = "Demo Product";
        package.password = "Open Sesame";
        Start(package, "");
        EXPECT_EQ(0, Ctl({"-c", "#32770", "-t", BOX_CAPTION, "-v", "wait"}));
        return package;
    }

    // winctl on the launcher's windows: the process is always selected.
    int Tool(std::vector<std::string> arguments, std::string *output = nullptr)
    {
        return RunTool("winctl", arguments, output);
    }
    int Ctl(std::vector<std::string> arguments, std::string *output = nullptr)
    {
        arguments.insert(arguments.begin(), {"-p", std::to_string(pid)});
        return Tool(arguments, output);
    }
    std::string Text(std::vector<std::string> select)
    {
        std::string output;
        select.push_back("text");
        EXPECT_EQ(0, Ctl(select, &output));
        std::vector<std::string> lines = ConsoleLines(output);
        return lines.empty() ? "<none>" : lines[0];
    }
    // The captions of the launcher's visible top-level windows.
    std::vector<std::string> VisibleWindows()
    {
        std::string output;
        Ctl({"list"}, &output);
        std::vector<std::string> out;
        for (const std::string &line : ConsoleLines(output))
            out.push_back(line.substr(line.find('"')));
        return out;
    }
    // Waits for the run to end; the lines of `watch`, "ended" last.
    std::vector<std::string> WaitForEnd()
    {
        std::string output;
        Ctl({"-w", "30000", "watch"}, &output);
        std::vector<std::string> lines = ConsoleLines(output);
        ended = !lines.empty() && lines.back() == "ended";
        return lines;
    }

    TempDir dir;
    unsigned long pid = 0;
    bool ended = false;
};

TEST_F(Gui, YesThenTheTypedPasswordThenTheBarShowsEveryPercentage)
{
    sfxpack::Package package = StartAtTheQuestion();
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ("This will install Demo Product. Do you wish to continue?", Text({"-t", BOX_CAPTION, "-i", "0xFFFF"}));
    EXPECT_EQ("&Yes", Text({"-t", BOX_CAPTION, "-i", "6"}));
    EXPECT_EQ("&No", Text({"-t", BOX_CAPTION, "-i", "7"}));
    // The question is the only visible window: the progress window is hidden.
    EXPECT_EQ(std::vector<std::string>{"\"" + std::string(BOX_CAPTION) + "\""}, VisibleWindows());

    // Every text the bar is given, from the first on, as it is given.
    Background bar("winctl", {"-p", std::to_string(pid), "-c", "Progress", "-i", "1000", "record"},
                   dir / "bar.txt");
    ASSERT_TRUE(bar.WaitForLine("ready", 20000));

    ASSERT_EQ(0, Ctl({"-t", BOX_CAPTION, "-i", "6", "click"}));
    ASSERT_EQ(0, Ctl({"-c", "#32770", "-t", DIALOG_CAPTION, "-v", "wait"}));
    EXPECT_EQ("Please enter the password required to extract the attached files.",
              Text({"-t", DIALOG_CAPTION, "-i", "200"}));
    ASSERT_EQ(0, Ctl({"-t", DIALOG_CAPTION, "-i", "104", "type", "Open Sesame"}));
    ASSERT_EQ(0, Ctl({"-t", DIALOG_CAPTION, "-i", "104", "key", "enter"}));

    std::vector<std::string> seen = WaitForEnd();
    EXPECT_EQ("ended", seen.back());
    std::vector<std::string> expected = {"ready", "3", "6", "10", "13", "39", "43", "46", "50", "53", "56", "60", "100"};
    EXPECT_EQ(expected, bar.Finish());
    EXPECT_EQ(package.entries[1].data, ReadBytes(dir / "temp/~EXB0000/sub/second.bin"));
}

TEST_F(Gui, AFloodOfPostedUpdatesDuringTheQuestionIsHandledOneByOne)
{
    sfxpack::Package package = StartAtTheQuestion();
    ASSERT_FALSE(HasFailure());
    // All waiting at once in the queue that the question's box drains, and
    // the answer after them: an update that drained the queue itself would
    // nest 9,500 deep.
    ASSERT_EQ(0, Ctl({"-c", "Progress", "post", "1124", "50", "0", "9500"}));
    ASSERT_EQ(0, Ctl({"-t", BOX_CAPTION, "-i", "6", "click"}));
    ASSERT_EQ(0, Ctl({"-c", "#32770", "-t", DIALOG_CAPTION, "-v", "wait"}));
    ASSERT_EQ(0, Ctl({"-t", DIALOG_CAPTION, "-i", "104", "type", "Open Sesame"}));
    ASSERT_EQ(0, Ctl({"-t", DIALOG_CAPTION, "-i", "104", "key", "enter"}));
    EXPECT_EQ("ended", WaitForEnd().back());
    EXPECT_EQ(package.entries[1].data, ReadBytes(dir / "temp/~EXB0000/sub/second.bin"));
}

TEST_F(Gui, NoEndsTheRunWithoutAskingForThePassword)
{
    StartAtTheQuestion();
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(0, Ctl({"-t", BOX_CAPTION, "-i", "7", "click"}));
    EXPECT_EQ(std::vector<std::string>{"ended"}, WaitForEnd());
    // The working directory, empty, goes at the end of the run.
    EXPECT_EQ(std::vector<std::string>{}, ListTree(dir / "temp"));
}

TEST_F(Gui, TheDialogIgnoresEscapeTakes39CharactersAndAWrongOneIsReported)
{
    sfxpack::Package package = TenBlocks();
    package.password = std::string(39, 'x');
    Start(package, "-p");

    ASSERT_EQ(0, Ctl({"-c", "#32770", "-t", DIALOG_CAPTION, "-v", "wait"}));
    EXPECT_EQ(std::vector<std::string>{"\"" + std::string(DIALOG_CAPTION) + "\""}, VisibleWindows());
    ASSERT_EQ(0, Ctl({"-t", DIALOG_CAPTION, "-i", "104", "key", "esc"}));
    // 40 characters typed: the field keeps 39, and one of them is wrong.
    ASSERT_EQ(0, Ctl({"-t", DIALOG_CAPTION, "-i", "104", "type", std::string(38, 'x') + "Xx"}));
    EXPECT_EQ(std::string(38, 'x') + "X", Text({"-t", DIALOG_CAPTION, "-i", "104"}));
    EXPECT_EQ(std::vector<std::string>{"\"" + std::string(DIALOG_CAPTION) + "\""}, VisibleWindows());

    ASSERT_EQ(0, Ctl({"-t", DIALOG_CAPTION, "-i", "104", "key", "enter"}));
    ASSERT_EQ(0, Ctl({"-c", "#32770", "-t", BOX_CAPTION, "-v", "wait"}));
    EXPECT_EQ("You have entered an incorrect password.", Text({"-t", BOX_CAPTION, "-i", "0xFFFF"}));
    ASSERT_EQ(0, Ctl({"-t", BOX_CAPTION, "-i", "1", "click"}));
    EXPECT_EQ(std::vector<std::string>{"ended"}, WaitForEnd());
    EXPECT_EQ(std::vector<std::string>{}, ListTree(dir / "temp"));
}

TEST_F(Gui, AnotherProgramMaySendUpdatesWithAnyArgument)
{
    // While the launcher waits for its setup program it pumps its messages;
    // the bar then follows WM_UPDATEPROGRESS from anybody.
    sfxpack::Package package;
    package.setupCommand = "Setup.exe";
    package.entries.push_back(MakeEntry("Setup.exe", RecorderProgram(), WHEN));
    std::filesystem::create_directories(dir / "records");
    Start(package, "", {{"RECORDER_DIR", WinePath(dir / "records")}, {"RECORDER_SLEEP", "10000"}});
    for (int i = 0; i < 500 && !Exists(dir / "records/Setup.txt"); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(Exists(dir / "records/Setup.txt"));

    // One file, all its blocks done: 0 + 66 × argument / 100 + 100 / 3.
    std::vector<std::string> bar = {"-c", "Progress", "-i", "1000"};
    EXPECT_EQ("99", Text(bar));
    struct Case {
        const char *wParam;
        const char *shown;
    } cases[] = {{"50", "66"}, {"-1", "33"}, {"0x7FFFFFFF", "6600033"}, {"0x80000000", "-999999"}, {"100", "99"}};
    for (const Case &c : cases) {
        std::string result;
        EXPECT_EQ(0, Ctl({"-c", "Progress", "send", "1124", c.wParam, "7"}, &result));
        EXPECT_EQ("0", ConsoleLines(result).at(0));
        EXPECT_EQ(c.shown, Text(bar)) << c.wParam;
    }
    // Posted, it waits for the next pump of the wait loop.
    EXPECT_EQ(0, Ctl({"-c", "Progress", "post", "1124", "10"}));
    std::string shown;
    for (int i = 0; i < 100 && shown != "39"; i++) {
        shown = Text(bar);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ("39", shown);
    // Hidden all the while: the setup program runs.
    EXPECT_TRUE(VisibleWindows().empty());
    EXPECT_EQ("ended", WaitForEnd().back());
}

TEST_F(Gui, SilentModeNeverShowsAWindow)
{
    sfxpack::Package package = TenBlocks();
    package.productTitle = "Demo Product";
    package.password = "Open Sesame";
    package.setupCommand = "Setup.exe";
    package.entries.push_back(MakeEntry("Setup.exe", RecorderProgram(), 0));
    package.entries.push_back(MakeEntry("big.bin", 4 << 20, 3, WHEN));
    std::filesystem::create_directories(dir / "records");
    Start(package, "-s \"-pOpen Sesame\"", {{"RECORDER_DIR", WinePath(dir / "records")}, {"RECORDER_SLEEP", "1500"}});

    // Every window of the run is looked at until it ends: none is visible.
    std::vector<std::string> seen = WaitForEnd();
    EXPECT_EQ(std::vector<std::string>{"ended"}, seen);
    std::string record = ReadText(dir / "records/Setup.txt");
    EXPECT_NE(std::string::npos, record.find("done")) << record;
    EXPECT_EQ("", ReadText(dir / "SETUP.LOG"));
    EXPECT_TRUE(Exists(dir / "SETUP.LOG"));
}

}  // namespace
