// The setup program as the real launcher starts it under Wine: the command
// line that the stand-in program records, the waits, the removal afterwards
// and the message after a failed start.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <strings.h>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

// Every value of "key=" lines of a recorder's record.
std::vector<std::string> Fields(const std::string &record, const std::string &key)
{
    std::vector<std::string> out;
    for (const std::string &line : Lines(record))
        if (line.compare(0, key.size() + 1, key + "=") == 0)
            out.push_back(line.substr(key.size() + 1));
    return out;
}

// The "file=" or "after=" names, sorted: directory order is the file system's.
std::vector<std::string> Files(const std::string &record, const std::string &key)
{
    std::vector<std::string> out = Fields(record, key);
    std::sort(out.begin(), out.end());
    return out;
}

// The recorder got to its end.
bool Done(const std::string &record)
{
    return record.size() >= 5 && record.compare(record.size() - 5, 5, "done\n") == 0;
}

std::string Field(const std::string &record, const std::string &key)
{
    std::vector<std::string> all = Fields(record, key);
    return all.empty() ? "<none>" : all[0];
}

long long NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// A package whose setup program is the recorder, stored as `programName`,
// beside a data file and a file in a subfolder.
sfxpack::Package RecorderPackage(const std::string &setupCommand, const std::string &programName = "Setup.exe")
{
    sfxpack::Package package;
    package.setupCommand = setupCommand;
    package.entries = {MakeEntry(programName, RecorderProgram(), DosDateTime(2022, 3, 4, 5, 6, 8)),
                       MakeEntry("data.bin", 20000, 7, DosDateTime(2022, 3, 4, 5, 6, 10)),
                       MakeEntry("sub\\more.txt", 10, 8, DosDateTime(2022, 3, 4, 5, 6, 12))};
    return package;
}

class SetupProgram : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(dir / "cwd");
        run = RecordingRun(dir);
        run.currentDir = WinePath(dir / "cwd");
    }

    // Writes and runs the package; 0 is the only exit code the launcher has.
    void RunPackage(const sfxpack::Package &package, const std::string &arguments)
    {
        WritePackage(dir / "pkg.exe", package);
        run.arguments = arguments;
        EXPECT_EQ(RunWine(dir / "pkg.exe", run), 0);
    }

    // The recorder's command line after the working directory, which must
    // be the launcher's own below TEMP (upper-cased by the launcher).
    std::string CommandAfterWorkingDir(const std::string &record)
    {
        std::string command = Field(record, "command");
        std::string workDir = *run.temp + "\\~EXB0000\\";
        std::string start = command.substr(0, workDir.size());
        EXPECT_TRUE(strcasecmp(start.c_str(), workDir.c_str()) == 0) << command;
        return command.substr(start.size());
    }

    std::string Record(const std::string &name = "Setup") { return ReadText(dir / ("records/" + name + ".txt")); }
    std::string Log() { return ReadText(dir / "SETUP.LOG"); }
    std::vector<std::string> Temp() { return ListTree(dir / "temp"); }

    TempDir dir;
    e2e::Run run;
};

using Names = std::vector<std::string>;

TEST_F(SetupProgram, CommandLineAsTheProgramReceivesIt)
{
    struct Case {
        const char *setupCommand, *programName, *arguments, *expected;
    } cases[] = {
        {"Setup.exe /z", "Setup.exe", "-s -pSecret /q", "Setup.exe -s /q /z -sms"},
        {"install.exe", "install.exe", "-s", "install.exe -s"},
        {"install.exe /setup", "install.exe", "-s", "install.exe -s /setup -sms"},
        {"install.exe /q", "install.exe", "-s", "install.exe -s /q"},
        {"mysetup.exe", "mysetup.exe", "-s", "mysetup.exe -s -sms"},
        {"SeTuP.ExE", "SETUP.EXE", "-s", "SeTuP.ExE -s -sms"},
        // Quotes are gone: the program sees the argument split at its blank.
        {"prog.exe /a  b", "prog.exe", "-s \"x y\" -Pq -pw -p -f2nolog", "prog.exe -s x y -Pq -f2nolog /a  b"},
        // No extension: the packaged Setup.exe is started, the line keeps the name.
        {"Setup /z", "Setup.exe", "-s", "Setup -s /z -sms"},
        // Not silent: the same line, and no message after a good start.
        {"prog.exe /q", "prog.exe", "/x", "prog.exe /x /q"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.setupCommand);
        std::filesystem::remove_all(dir / "records");
        std::filesystem::create_directories(dir / "records");
        RunPackage(RecorderPackage(c.setupCommand, c.programName), c.arguments);
        // One record, named after the program as the recorder found itself.
        std::vector<std::string> records = ListTree(dir / "records");
        ASSERT_EQ(records.size(), 1u);
        std::string record = ReadText(dir / ("records/" + records[0]));
        EXPECT_EQ(CommandAfterWorkingDir(record), c.expected);
        // Started in the launcher's current directory, not the working one,
        // shown normally.
        EXPECT_EQ(Field(record, "cwd"), run.currentDir);
        EXPECT_EQ(Field(record, "show"), "1 5");
        Names expectedFiles{"data.bin", c.programName};
        std::sort(expectedFiles.begin(), expectedFiles.end());
        EXPECT_EQ(Files(record, "file"), expectedFiles);
        EXPECT_TRUE(Done(record));
        EXPECT_EQ(Log(), "");
        EXPECT_EQ(Temp(), Names{});
    }
}

TEST_F(SetupProgram, LongCommandLines)
{
    // The working directory is Z:\...\temp\~EXB0000\, as long as the test
    // folder's path makes it: the argument brings the line to 240
    // characters, beyond 127, and it still runs.
    size_t workingDir = WinePath(dir / "temp").size() + std::string("\\~EXB0000\\").size();
    size_t fixed = workingDir + std::string("Setup.exe -s  /z -sms").size();
    if (fixed + 50 > 240)
        GTEST_SKIP() << "the test folder's path leaves no room for a long argument";
    std::string longArgument(240 - fixed, 'a');
    RunPackage(RecorderPackage("Setup.exe /z"), "-s " + longArgument);
    std::string record = Record();
    EXPECT_EQ(CommandAfterWorkingDir(record), "Setup.exe -s " + longArgument + " /z -sms");
    size_t length = Field(record, "command").size();
    EXPECT_GT(length, 200u);
    EXPECT_LE(length, 259u);
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(Temp(), Names{});

    // Beyond 259 characters the line is refused, never cut; the files are
    // removed all the same.
    std::filesystem::remove(dir / "records/Setup.txt");
    RunPackage(RecorderPackage("Setup.exe /z"), "-s " + longArgument + " " + std::string(60, 'b'));
    EXPECT_EQ(Record(), "");
    EXPECT_EQ(Log(), "WinExec failed: return=206\r\n");
    EXPECT_EQ(Temp(), Names{});
}

TEST_F(SetupProgram, FailedStartIsReportedAfterTheRemoval)
{
    // Silent: the line goes to the log.
    RunPackage(RecorderPackage("nothere.exe /q"), "-s");
    EXPECT_EQ(Log(), "WinExec failed: return=2\r\n");
    EXPECT_EQ(Temp(), Names{});

    // A command that begins with a blank leaves no program part.
    RunPackage(RecorderPackage(" Setup.exe /q"), "-s");
    EXPECT_EQ(Log(), "WinExec failed: return=2\r\n");
    EXPECT_EQ(Record(), "");
    EXPECT_EQ(Temp(), Names{});

    // Not silent: the message box, owned by the still visible progress
    // window, comes when the working directory is already gone.
    WritePackage(dir / "pkg.exe", RecorderPackage("nothere.exe /q"));
    e2e::Run watch = run;
    watch.arguments = "-o " + WinePath(dir / "watch.txt") + " -l " + *run.temp + " -c \"\\\"" +
                      WinePath(dir / "pkg.exe") + "\\\" /q\"";
    EXPECT_EQ(RunWine(ToolPath("launchwatch"), watch), 0);
    EXPECT_EQ(Lines(ReadText(dir / "watch.txt")),
              (Names{"visible Progress|Tollivex Self-extracting Exe",
                     "visible #32770|Tollivex Self-extracting EXE",
                     "dialog Tollivex Self-extracting EXE|WinExec failed: return=2", "list-end", "exit 0"}));
    EXPECT_EQ(Temp(), Names{});
}

TEST_F(SetupProgram, WaitsForTheProgramThenForTvdeleteWindows)
{
    // The program sleeps and looks at its files again: all still there.
    run.environment["RECORDER_SLEEP"] = "1000";
    long long start = NowMs();
    RunPackage(RecorderPackage("Setup.exe"), "-s");
    EXPECT_GE(NowMs() - start, 1000);
    std::string record = Record();
    EXPECT_EQ(Files(record, "after"), (Names{"Setup.exe", "data.bin"}));
    EXPECT_EQ(Temp(), Names{});

    // The program leaves a "tvdelete" window behind for 1.5 s and ends; the
    // launcher ends only after the window has gone, and the files were
    // still there when it went.
    run.environment.erase("RECORDER_SLEEP");
    run.environment["RECORDER_TVDELETE"] = "\"" + WinePath(ToolPath("tvdelete")) + "\" 1500";
    start = NowMs();
    RunPackage(RecorderPackage("Setup.exe"), "-s");
    long long end = NowMs();
    EXPECT_EQ(Field(Record(), "tvdelete"), "started");
    std::vector<std::string> events = Lines(ReadText(dir / "records/tvdelete.txt"));
    ASSERT_EQ(events.size(), 2u);
    long long created = 0, destroyed = 0;
    char watched[16] = "";
    ASSERT_EQ(sscanf(events[0].c_str(), "created %lld", &created), 1);
    ASSERT_EQ(sscanf(events[1].c_str(), "destroyed %lld %15s", &destroyed, watched), 2);
    EXPECT_STREQ(watched, "present");
    EXPECT_GE(destroyed - created, 1500);
    EXPECT_GE(end, destroyed);
    EXPECT_GE(end - start, 1500);
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(Temp(), Names{});
}

TEST_F(SetupProgram, BlankInTempNeverStartsAnotherProgram)
{
    // Unquoted, Z:\...\my temp\~EXB0000\Setup.exe would be searched as
    // Z:\...\my first, which is my.exe here.
    std::filesystem::create_directories(dir / "my temp");
    WriteBytes(dir / "my.exe", ReadBytes(ToolPath("recorder")));
    run.temp = WinePath(dir / "my temp");
    RunPackage(RecorderPackage("Setup.exe /z"), "-s");
    std::string record = Record();
    EXPECT_EQ(CommandAfterWorkingDir(record), "Setup.exe -s /z -sms");
    EXPECT_FALSE(Exists(dir / "records/my.txt"));
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(ListTree(dir / "my temp"), Names{});
}

TEST_F(SetupProgram, NoWindowOfTheLauncherShowsWhenSilent)
{
    run.environment["RECORDER_SLEEP"] = "300";
    WritePackage(dir / "pkg.exe", RecorderPackage("Setup.exe"));
    e2e::Run watch = run;
    watch.arguments = "-o " + WinePath(dir / "watch.txt") + " -c \"\\\"" + WinePath(dir / "pkg.exe") + "\\\" -s\"";
    EXPECT_EQ(RunWine(ToolPath("launchwatch"), watch), 0);
    EXPECT_EQ(Lines(ReadText(dir / "watch.txt")), Names{"exit 0"});
    EXPECT_TRUE(Done(Record()));

    // The same run, not silent, shows the progress window: the watch sees it.
    watch.arguments = "-o " + WinePath(dir / "watch.txt") + " -c \"\\\"" + WinePath(dir / "pkg.exe") + "\\\"\"";
    EXPECT_EQ(RunWine(ToolPath("launchwatch"), watch), 0);
    EXPECT_EQ(Lines(ReadText(dir / "watch.txt")),
              (Names{"visible Progress|Tollivex Self-extracting Exe", "exit 0"}));
}

}  // namespace
