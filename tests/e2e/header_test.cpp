// The package header as the real launcher reads it under Wine: each header
// status, in silent mode, through the exact log line.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

sfxpack::Package SmallPackage()
{
    sfxpack::Package package;
    package.entries = {MakeEntry("README.TXT", 100, 1, DosDateTime(2020, 5, 17, 10, 30, 44)),
                       MakeEntry("sub\\deeper\\data.bin", 9000, 2, DosDateTime(2021, 1, 2, 3, 4, 6))};
    return package;
}

class Header : public testing::Test {
protected:
    // Runs `package` silently and returns its log.
    std::string RunSilently(const sfxpack::Package &package, const std::string &arguments = "-s")
    {
        e2e::Run run;
        run.arguments = arguments;
        return RunForLog(dir, package, run);
    }
    TempDir dir;
};

TEST_F(Header, ValidHeaderExtractsEverything)
{
    EXPECT_EQ(RunSilently(SmallPackage()), "");
    EXPECT_EQ(ReadBytes(dir / "temp/~EXB0000/README.TXT"), PatternBytes(100, 1));
    EXPECT_EQ(ReadBytes(dir / "temp/~EXB0000/sub/deeper/data.bin"), PatternBytes(9000, 2));
}

TEST_F(Header, MissingResourceIsNoHeader)
{
    sfxpack::Package package = SmallPackage();
    package.hideResource = true;
    EXPECT_EQ(RunSilently(package), "Extract failed: return from extract=-1\r\n");
    // The removal pass cannot read the header either; the working directory
    // that was made, empty, goes at the end of the run.
    EXPECT_EQ(ListTree(dir / "temp"), (std::vector<std::string>{}));
}

TEST_F(Header, WrongSizeOrVersionIsBadHeader)
{
    sfxpack::Package package = SmallPackage();
    package.headerSize = 405;
    EXPECT_EQ(RunSilently(package), "Extract failed: return from extract=-2\r\n");

    package = SmallPackage();
    package.formatVersion = 5;
    EXPECT_EQ(RunSilently(package), "Extract failed: return from extract=-2\r\n");
}

TEST_F(Header, HeaderIsCheckedBeforeEntryCount)
{
    sfxpack::Package package = SmallPackage();
    package.headerSize = 0;
    package.entryCount = 0;
    EXPECT_EQ(RunSilently(package), "Extract failed: return from extract=-2\r\n");
}

TEST_F(Header, NoEntries)
{
    sfxpack::Package package = SmallPackage();
    package.entryCount = 0;
    EXPECT_EQ(RunSilently(package), "Extract failed: return from extract=-3\r\n");
    package.entryCount = -5;
    EXPECT_EQ(RunSilently(package), "Extract failed: return from extract=-3\r\n");
}

TEST_F(Header, LongerResourceIsAcceptedShorterIsNot)
{
    sfxpack::Package package = SmallPackage();
    package.resourceSize = 422;
    EXPECT_EQ(RunSilently(package), "");
    EXPECT_EQ(ReadBytes(dir / "temp/~EXB0000/README.TXT"), PatternBytes(100, 1));

    package.resourceSize = 403;
    EXPECT_EQ(RunSilently(package), "Extract failed: return from extract=-2\r\n");
}

TEST_F(Header, TextFieldWithoutTerminatorIsCut)
{
    // A 40-byte password field full of 'x': read as 39 characters.
    sfxpack::Package package = SmallPackage();
    package.rawPasswordField = sfxpack::Bytes(40, 'x');
    EXPECT_EQ(RunSilently(package), "You have entered an incorrect password.\r\n");
    // The first run's working directory, left empty, is gone: its name is free.
    EXPECT_EQ(RunSilently(package, "-s -p" + std::string(39, 'x')), "");
    EXPECT_EQ(ReadBytes(dir / "temp/~EXB0000/README.TXT"), PatternBytes(100, 1));
}

TEST_F(Header, BareLauncherEndsWithBadHeader)
{
    std::filesystem::copy_file(LauncherStub(), dir / "launcher.exe");
    std::filesystem::create_directories(dir / "temp");
    e2e::Run run;
    run.arguments = "-s";
    run.temp = WinePath(dir / "temp");
    EXPECT_EQ(RunWine(dir / "launcher.exe", run), 0);
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), "Extract failed: return from extract=-2\r\n");
}

}  // namespace
