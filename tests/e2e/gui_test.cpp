// The launcher's windows under Wine, driven as a user and other programs
// would: the install question, the password dialog typed into, the bar's
// percentages as the run goes, WM_UPDATEPROGRESS from another program, and
// no window at all in silent mode; the texts in the user's language.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <unistd.h>

#include "sfxpack/common/codepage.h"
#include "sfxpack/write/create.h"
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
        Launch(arguments, environment, "");
    }
    // Starts `dir`/pkg.exe as written, with LC_ALL `locale` when not empty:
    // Wine's user interface language follows it.
    void Launch(const std::string &arguments, const std::map<std::string, std::string> &environment,
                const std::string &locale)
    {
        std::vector<std::string> args = {ToolPath("winrun"), "-n", "-e", "TEMP=" + WinePath(dir / "temp"),
                                         "-d", WinePath(dir.path())};
        for (const auto &[name, value] : environment) {
            args.push_back("-e");
            args.push_back(name + "=" + value);
        }
        args.push_back("-c");
        args.push_back("\"" + WinePath(dir / "pkg.exe") + "\" " + arguments);
        char outputPath[] = "/tmp/sfx-gui-XXXXXX";
        int output = mkstemp(outputPath);
        ASSERT_GE(output, 0);
        pid_t child = StartWine(args, output, [&locale] {
            if (!locale.empty()) {
                setenv("LC_ALL", locale.c_str(), 1);
                setenv("LANG", locale.c_str(), 1);
            }
        });
        close(output);
        int code = WaitForExit(child);
        std::string printed = ReadText(outputPath);
        unlink(outputPath);
        ASSERT_EQ(0, code);
        pid = std::stoul(printed);
        ended = false;
        ASSERT_NE(0u, pid);
    }

    // `dir`/pkg.exe written by sfxpack create from a folder of 4 blocks, with
    // the shipped German and Japanese translations, titled "Demo Product"
    // and locked with "Open Sesame".
    void CreateTranslated(const std::string &caption, const std::string &setupCommand = "")
    {
        std::filesystem::create_directories(dir / "content");
        WriteBytes(dir / "content/a.bin", Bytes(4 * 8192, 'a'));
        sfxpack::CreateOptions options;
        options.directory = dir / "content";
        options.outputPath = dir / "pkg.exe";
        options.stubPath = LauncherStub();
        options.productTitle = "Demo Product";
        options.password = "Open Sesame";
        options.setupCommand = setupCommand;
        options.caption = caption;
        options.languagePaths = {SourceDir() + "/translations/de.po", SourceDir() + "/translations/ja.po"};
        std::vector<std::string> warnings;
        std::string error;
        ASSERT_TRUE(sfxpack::CreatePackage(options, &warnings, &error)) << error;
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
    // The text as Unicode, in UTF-8: the launcher's windows are Unicode.
    std::string UText(std::vector<std::string> select)
    {
        std::string output;
        select.push_back("utext");
        EXPECT_EQ(0, Ctl(select, &output));
        std::vector<std::string> lines = ConsoleLines(output);
        return lines.empty() ? "<none>" : lines[0];
    }
    // The handle of the visible dialog or message box, once there is one.
    std::string WaitForDialog()
    {
        std::string output;
        EXPECT_EQ(0, Ctl({"-c", "#32770", "-v", "-w", "20000", "wait"}, &output));
        std::vector<std::string> lines = ConsoleLines(output);
        return lines.empty() ? "0" : lines[0];
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

// What the user sees of a package with German and Japanese translations:
// the loader picks the texts by the user's interface language, German for
// Germany and Austria alike (stored under the neutral sublanguage),
// Japanese where the code page is 932, and the US English originals for a
// language the package does not hold.
struct SeenTexts {
    const char *locale, *boxCaption, *question, *dialogCaption, *progress, *prompt, *ok;
};

const SeenTexts GERMAN = {"de_DE.UTF-8", "Tollivex – selbstentpackende EXE",
                          "Demo Product wird jetzt installiert. Möchten Sie fortfahren?",
                          "Tollivex – selbstentpackende Exe",
                          "Bitte warten Sie, während Tollivex die Dateien entpackt, mit denen diese Anwendung "
                          "installiert wird.",
                          "Bitte geben Sie das Kennwort ein, das zum Entpacken der beigefügten Dateien nötig ist.", "OK"};
const SeenTexts JAPANESE = {"ja_JP.UTF-8", "Tollivex 自己解凍 EXE", "Demo Product をインストールします。続行しますか？",
                            "Tollivex 自己解凍 Exe",
                            "このアプリケーションをインストールするファイルを Tollivex が展開しています。"
                            "しばらくお待ちください。",
                            "添付のファイルを展開するには、パスワードを入力してください。", "OK"};
const SeenTexts ENGLISH = {"C", BOX_CAPTION, "This will install Demo Product. Do you wish to continue?", DIALOG_CAPTION,
                           "Please wait while Tollivex extracts the files which will install this application",
                           "Please enter the password required to extract the attached files.", "OK"};

TEST_F(Gui, TheQuestionProgressAndPasswordSpeakTheUsersLanguage)
{
    ASSERT_NO_FATAL_FAILURE(CreateTranslated(""));
    SeenTexts austrian = GERMAN;
    austrian.locale = "de_AT.UTF-8";
    for (const SeenTexts &seen : {GERMAN, austrian, JAPANESE, ENGLISH}) {
        SCOPED_TRACE(seen.locale);
        std::filesystem::remove_all(dir / "temp/~EXB0000");
        ASSERT_NO_FATAL_FAILURE(Launch("", {}, seen.locale));
        std::string box = WaitForDialog();
        EXPECT_EQ(seen.boxCaption, UText({"-h", box}));
        EXPECT_EQ(seen.question, UText({"-h", box, "-i", "0xFFFF"}));
        // The progress window exists, hidden, from the start.
        EXPECT_EQ(seen.dialogCaption, UText({"-c", "Progress"}));
        EXPECT_EQ(seen.progress, UText({"-c", "Progress", "-i", "200"}));
        ASSERT_EQ(0, Ctl({"-h", box, "-i", "6", "click"}));
        ASSERT_EQ(0, Ctl({"-h", box, "gone"}));

        std::string password = WaitForDialog();
        EXPECT_EQ(seen.dialogCaption, UText({"-h", password}));
        EXPECT_EQ(seen.prompt, UText({"-h", password, "-i", "200"}));
        EXPECT_EQ(seen.ok, UText({"-h", password, "-i", "1"}));
        ASSERT_EQ(0, Ctl({"-h", password, "-i", "104", "type", "Open Sesame"}));
        ASSERT_EQ(0, Ctl({"-h", password, "-i", "104", "key", "enter"}));
        EXPECT_EQ("ended", WaitForEnd().back());
        EXPECT_EQ(Bytes(4 * 8192, 'a'), ReadBytes(dir / "temp/~EXB0000/a.bin"));
    }
}

// --caption is every caption, in every language: the message boxes' and
// both windows'. Its "ő" is in neither code page 1252 nor 932: only Unicode
// windows and message boxes show it.
TEST_F(Gui, TheCaptionGivenIsEveryCaptionInEveryLanguage)
{
    const std::string caption = "Widget Pro – Telepítő";
    ASSERT_NO_FATAL_FAILURE(CreateTranslated(caption));
    for (const char *locale : {"de_DE.UTF-8", "C"}) {
        SCOPED_TRACE(locale);
        ASSERT_NO_FATAL_FAILURE(Launch("", {}, locale));
        EXPECT_EQ(caption, UText({"-c", "Progress"}));
        std::string question = WaitForDialog();
        EXPECT_EQ(caption, UText({"-h", question}));
        ASSERT_EQ(0, Ctl({"-h", question, "-i", "6", "click"}));
        ASSERT_EQ(0, Ctl({"-h", question, "gone"}));
        std::string password = WaitForDialog();
        EXPECT_EQ(caption, UText({"-h", password}));
        ASSERT_EQ(0, Ctl({"-h", password, "-i", "104", "type", "wrong"}));
        ASSERT_EQ(0, Ctl({"-h", password, "-i", "104", "key", "enter"}));
        ASSERT_EQ(0, Ctl({"-h", password, "gone"}));
        std::string box = WaitForDialog();
        EXPECT_EQ(caption, UText({"-h", box}));
        EXPECT_EQ(std::string(locale) == "C" ? "You have entered an incorrect password." : "Das eingegebene Kennwort ist falsch.",
                  UText({"-h", box, "-i", "0xFFFF"}));
        ASSERT_EQ(0, Ctl({"-h", box, "-i", "1", "click"}));
        EXPECT_EQ("ended", WaitForEnd().back());
    }
}

// A silent run writes the same texts, formats filled in, in the ANSI code
// page to its log.
TEST_F(Gui, ASilentRunLogsTheUsersLanguage)
{
    ASSERT_NO_FATAL_FAILURE(CreateTranslated("", "Missing.exe"));
    struct Case {
        const char *locale;
        int codePage;
        std::string launch, password;
    } cases[] = {
        {"de_DE.UTF-8", 1252, "Das Setup-Programm konnte nicht gestartet werden: Rückgabewert=2",
         "Das eingegebene Kennwort ist falsch."},
        {"ja_JP.UTF-8", 932, "セットアップ プログラムを起動できませんでした: 戻り値=2",
         "入力されたパスワードが正しくありません。"},
        {"C", 1252, "WinExec failed: return=2", "You have entered an incorrect password."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.locale);
        std::string expected, why;
        ASSERT_TRUE(sfxpack::Utf8ToCodePage(c.launch + "\r\n" + c.password + "\r\n", c.codePage, &expected, &why));
        e2e::Run run;
        run.locale = c.locale;
        run.arguments = "-s \"-pOpen Sesame\"";
        run.temp = WinePath(dir / "temp");
        EXPECT_EQ(0, RunWine(dir / "pkg.exe", run));
        std::string log = ReadText(dir / "SETUP.LOG");
        run.arguments = "-s -pwrong";
        EXPECT_EQ(0, RunWine(dir / "pkg.exe", run));
        EXPECT_EQ(expected, log + ReadText(dir / "SETUP.LOG"));
    }
}

}  // namespace
