// TEMP with double-byte characters in code page 932, on the real launcher:
// the working directory is made inside the folder TEMP names.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

// Runs a one-file package silently with TEMP set to the folder `temp` below
// the test's folder, in code page 932.
void RunWithTemp(const TempDir &dir, const std::string &temp)
{
    sfxpack::Package package;
    package.entries = {MakeEntry("ONE.TXT", 10, 1, DosDateTime(2024, 2, 3, 4, 5, 6))};
    std::filesystem::create_directories(dir / temp);
    e2e::Run run;
    run.arguments = "-s";
    run.temp = WinePath(dir / temp);
    run.locale = "ja_JP.UTF-8";
    ASSERT_EQ(RunPackage(dir, package, run), 0);
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), "");
}

TEST(DoubleByteTemp, TrailByteBackslashStillGetsItsSeparator)
{
    // 表 is 0x95 0x5C: its last byte is a backslash, yet it ends no folder.
    TempDir dir;
    RunWithTemp(dir, "表");
    EXPECT_EQ(ListTree(dir.path()), (std::vector<std::string>{"SETUP.LOG", "pkg.exe", "表/", "表/~EXB0000/",
                                                               "表/~EXB0000/ONE.TXT"}));
}

TEST(DoubleByteTemp, TrailBytesAreNotUpperCased)
{
    // ャ is 0x83 0x61: upper-casing its trail byte would name ア instead.
    TempDir dir;
    RunWithTemp(dir, "ャ");
    EXPECT_EQ(ListTree(dir.path()), (std::vector<std::string>{"SETUP.LOG", "pkg.exe", "ャ/", "ャ/~EXB0000/",
                                                               "ャ/~EXB0000/ONE.TXT"}));
}

}  // namespace
