// The end of the user's session, sent to the real launcher's progress
// window under Wine while it extracts and while it waits for the setup
// program: everything goes, and nothing is written afterwards.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

using Names = std::vector<std::string>;

const uint32_t WHEN = DosDateTime(2023, 6, 7, 8, 9, 10);

class SessionEnd : public testing::Test {
protected:
    void SetUp() override
    {
        run = RecordingRun(dir);
        run.currentDir = WinePath(dir.path());
    }

    // Runs the package under the watch tool, which ends the session once
    // `trigger` ("-p PERCENT" or "-f FILE") is met; returns the watch report.
    std::vector<std::string> RunAndEndSession(const sfxpack::Package &package, const std::string &arguments,
                                              const std::string &trigger)
    {
        WritePackage(dir / "pkg.exe", package);
        run.arguments = "-o " + WinePath(dir / "watch.txt") + " -l " + *run.temp + " " + trigger + " -c \"\\\"" +
                        WinePath(dir / "pkg.exe") + "\\\" " + arguments + "\"";
        EXPECT_EQ(RunWine(ToolPath("launchwatch"), run), 0);
        return Lines(ReadText(dir / "watch.txt"));
    }

    // The percentage shown when the session ended, from "endsession N 1";
    // the system's question was answered with 1.
    int EndedAt(const std::vector<std::string> &report)
    {
        for (const std::string &line : report) {
            int percent = -1, answer = -1;
            if (sscanf(line.c_str(), "endsession %d %d", &percent, &answer) == 2) {
                EXPECT_EQ(answer, 1);
                return percent;
            }
        }
        ADD_FAILURE() << "the session was not ended";
        return -1;
    }

    TempDir dir;
    e2e::Run run;
};

TEST_F(SessionEnd, DuringTheExtraction)
{
    // Twelve 4 MB files take long enough to be caught between 10 and 100 %.
    sfxpack::Package package;
    package.setupCommand = "Setup.exe";
    for (int i = 0; i < 12; i++)
        package.entries.push_back(MakeEntry("big\\part" + std::to_string(i) + ".bin", 4 << 20, i, WHEN));
    package.entries.push_back(MakeEntry("Setup.exe", RecorderProgram(), WHEN));

    std::vector<std::string> report = RunAndEndSession(package, "-s", "-p 10");
    int percent = EndedAt(report);
    EXPECT_GE(percent, 10);
    EXPECT_LT(percent, 100);
    // Gone by the time the handler returned, working directory included; no
    // window ever visible; the setup program never started; nothing logged
    // and nothing written afterwards.
    EXPECT_EQ(report, (Names{"endsession " + std::to_string(percent) + " 1", "list-end", "exit 0"}));
    EXPECT_EQ(ListTree(dir / "records"), Names{});
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), "");
    EXPECT_EQ(ListTree(dir / "temp"), Names{});
}

TEST_F(SessionEnd, DuringTheWaitForTheSetupProgram)
{
    sfxpack::Package package;
    package.setupCommand = "Setup.exe /x";
    package.entries = {MakeEntry("Setup.exe", RecorderProgram(), WHEN), MakeEntry("data.bin", 5000, 3, WHEN),
                       MakeEntry("sub\\deep\\more.bin", 7000, 4, WHEN)};
    run.environment["RECORDER_SLEEP"] = "3000";
    for (const char *arguments : {"-s", "/q"}) {
        SCOPED_TRACE(arguments);
        std::filesystem::remove_all(dir / "records");
        std::filesystem::create_directories(dir / "records");
        std::filesystem::remove(dir / "SETUP.LOG");
        std::vector<std::string> report =
            RunAndEndSession(package, arguments, "-f " + WinePath(dir / "records/Setup.txt"));
        int percent = EndedAt(report);
        // The hidden progress window got the messages; silent or not, no
        // window showed after the start and no message followed. The
        // program's own file, in use, outlives the removal at the end of the
        // session (listed then); the pass after the program has ended takes it.
        std::vector<std::string> expected = {"endsession " + std::to_string(percent) + " 1", "list ~EXB0000",
                                             "list-end", "exit 0"};
        if (std::string(arguments) != "-s")
            expected.insert(expected.begin(), "visible Progress|Tollivex Self-extracting Exe");
        EXPECT_EQ(report, expected);

        // The program, still running, found its data gone after its sleep.
        std::vector<std::string> after;
        for (const std::string &line : Lines(ReadText(dir / "records/Setup.txt")))
            if (line.compare(0, 6, "after=") == 0)
                after.push_back(line.substr(6));
        EXPECT_EQ(after, Names{"Setup.exe"});
        EXPECT_EQ(ReadText(dir / "SETUP.LOG"), "");
        EXPECT_EQ(ListTree(dir / "temp"), Names{});
    }
}

}  // namespace
