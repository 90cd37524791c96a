// Removal by the real launcher under Wine: after the setup program, after a
// refused entry, and at the end of the session, and never outside the
// working directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <unistd.h>

#include "tests/e2e/harness.h"

using namespace e2e;
using Tree = std::vector<std::string>;

namespace {

class Remove : public testing::Test {
protected:
    TempDir dir;
};

// Files that an escaping entry would write to or delete.
void PlantBait(const TempDir &dir)
{
    WriteText(dir / "evil.txt", "bait");
    WriteText(dir / "temp/evil.txt", "bait");
    WriteText(dir / "temp/~EXB0000.txt", "bait");
}

TEST_F(Remove, EntriesThatCouldLeaveTheWorkingDirectoryAreRefused)
{
    const char *refused[] = {
        "..\\evil.txt",           "sub\\..\\..\\evil.txt",   "sub/../../evil.txt",
        ".. \\evil.txt",          "...\\evil.txt",
        "C:evil.txt",             "evil.txt:stream",         "sub\\C:\\evil.txt",
        "\\evil.txt",             "\\\\server\\share\\x.txt", "/evil.txt",
        "NUL",                    "con.txt",                 "sub\\COM1 .log",
        "COM\xB9.log",            "prefix-too-short.txt",
        // Windows would drop the ending, and make or find another name.
        ".\\dot.txt",            "dir \\x.txt",
        // A line feed would have planted a line of its own in the log.
        "x\nYou have entered an incorrect password.",
    };
    for (const char *name : refused) {
        TempDir run;
        PlantBait(run);
        sfxpack::Package package;
        // The first file is extracted and then deleted by the removal pass,
        // whose walk stops at the refused entry; the working directory, empty,
        // goes too.
        package.entries = {MakeEntry("ok\\first.txt", 10, 1), MakeEntry(name, 5, 2)};
        if (std::string(name) == "prefix-too-short.txt") {
            package.sourcePrefix = "src\\";
            package.entries[0].name = "src\\ok\\first.txt";
        }
        e2e::Run how;
        how.arguments = "-s";
        EXPECT_EQ(RunForLog(run, package, how), "Extract failed: return from extract=-7\r\n") << name;
        EXPECT_EQ(ListTree(run.path()), (Tree{"SETUP.LOG", "evil.txt", "pkg.exe", "temp/", "temp/evil.txt",
                                              "temp/~EXB0000.txt"}))
            << name;
        EXPECT_EQ(ReadText(run / "temp/evil.txt"), "bait") << name;
    }
}

TEST_F(Remove, LookalikesOfRefusedNamesAreExtracted)
{
    sfxpack::Package package;
    package.entries = {MakeEntry(".x\\dot.txt", 3, 2), MakeEntry("..x\\y.txt", 3, 3), MakeEntry("console.txt", 3, 4),
                       MakeEntry("COM10", 3, 5)};
    e2e::Run run;
    run.arguments = "-s";
    EXPECT_EQ(RunForLog(dir, package, run), "");
    EXPECT_EQ(ListTree(dir / "temp/~EXB0000"), (Tree{"..x/", "..x/y.txt", ".x/", ".x/dot.txt", "COM10", "console.txt"}));
}

TEST_F(Remove, DestinationLengthIsBoundedAt259Bytes)
{
    // Z:\...\TEMP\~EXB0000\ followed by the name.
    size_t base = WinePath(dir / "temp").size() + 10;
    for (size_t length : {259, 260}) {
        TempDir run;
        size_t room = length - (WinePath(run / "temp").size() + 10);
        ASSERT_EQ(WinePath(run / "temp").size() + 10, base);
        std::string name = "d\\" + std::string(room - 2, 'n');
        sfxpack::Package package;
        package.entries = {MakeEntry(name, 4, 1)};
        e2e::Run how;
        how.arguments = "-s";
        EXPECT_EQ(RunPackage(run, package, how), 0);
        if (length == 259) {
            EXPECT_EQ(ReadText(run / "SETUP.LOG"), "");
            EXPECT_EQ(ReadBytes(run / ("temp/~EXB0000/d/" + std::string(room - 2, 'n'))), PatternBytes(4, 1));
        } else {
            EXPECT_EQ(ReadText(run / "SETUP.LOG"), "Extract failed: return from extract=-7\r\n");
            EXPECT_EQ(ListTree(run / "temp"), Tree{});
        }
    }
}

// The setup program: rec.exe records the files beside it, then everything
// extracted and the working directory are removed.
sfxpack::Package SetupPackage()
{
    sfxpack::Package package;
    package.setupCommand = "bin\\rec.exe";
    package.entries = {MakeEntry("bin\\rec.exe", RecorderProgram()), MakeEntry("bin\\data\\d.bin", 20000, 1),
                       MakeEntry("top.txt", 5, 2)};
    return package;
}

TEST_F(Remove, SetupProgramRunsBesideTheFilesThenAllIsRemoved)
{
    std::filesystem::create_directories(dir / "record");
    PlantBait(dir);
    e2e::Run run;
    run.arguments = "-s";
    run.environment["RECORDER_DIR"] = WinePath(dir / "record");
    EXPECT_EQ(RunForLog(dir, SetupPackage(), run), "");
    std::string record = ReadText(dir / "record/rec.txt");
    EXPECT_NE(record.find("\nfile=rec.exe\n"), std::string::npos) << record;
    EXPECT_EQ(ListTree(dir.path()), (Tree{"SETUP.LOG", "evil.txt", "pkg.exe", "record/", "record/rec.txt",
                                          "temp/", "temp/evil.txt", "temp/~EXB0000.txt"}));
}

TEST_F(Remove, SessionEndDuringTheSetupProgramIsFinishedAfterIt)
{
    std::filesystem::create_directories(dir / "record");
    PlantBait(dir);
    // What a second walk would take after the first cut the backslash off
    // the working directory: "...\~EXB0000" + "top.txt", and "~EXB000".
    WriteText(dir / "temp/~EXB0000top.txt", "bait");
    std::filesystem::create_directories(dir / "temp/~EXB000");
    WritePackage(dir / "pkg.exe", SetupPackage());
    e2e::Run run;
    run.arguments = "-s";
    run.temp = WinePath(dir / "temp");
    run.environment["RECORDER_DIR"] = WinePath(dir / "record");
    run.environment["RECORDER_SLEEP"] = "1500";
    std::string exe = dir / "pkg.exe";
    auto finished = std::async(std::launch::async, [exe, run] { return RunWine(exe, run); });
    // The window is hidden while the setup program runs, but still there.
    for (int i = 0; i < 200 && !Exists(dir / "record/rec.txt"); i++)
        usleep(10000);
    EXPECT_EQ(RunTool("winctl", {"-c", "Progress", "send", "22", "1"}), 0);
    EXPECT_EQ(finished.get(), 0);
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), "");
    // The handler's walk deleted everything but the running program, so the
    // working directory stayed with its backslash; the walk after the program
    // ended took the rest, and nothing outside was touched.
    EXPECT_EQ(ListTree(dir.path()),
              (Tree{"SETUP.LOG", "evil.txt", "pkg.exe", "record/", "record/rec.txt", "temp/", "temp/evil.txt",
                    "temp/~EXB000/", "temp/~EXB0000.txt", "temp/~EXB0000top.txt"}));
}

}  // namespace
