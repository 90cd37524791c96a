// Choosing the working directory on real folders. The suite
// DISABLED_PreparedDrives needs drives that only a private Wine prefix can
// offer (a removable A:, small and large T: and G:, a D: holding a dangling
// link ~EXB0000); the driver tests/e2e/workdir_test.cpp prepares them and
// runs it.
#include <gtest/gtest.h>
#include <string>
#include "fsutil/workdir.h"
#include "launcher/globals.h"
#include "tests/win/scratch.h"

namespace {

using scratch::IsDirectory;
using scratch::UpperAscii;

class WorkingDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedTempLength = GetEnvironmentVariableA("TEMP", savedTemp, sizeof savedTemp);
        // 0xE9 stays as it is: only a to z are upper-cased.
        base = scratch::MakeDir("fsutil-wd-\xe9");
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, sizeof windows);
        windowsBase = UpperAscii(windows) + "\\";
        workingDir[0] = '\0';
        ownsWorkingDir = 0;
    }

    void TearDown() override
    {
        SetEnvironmentVariableA("TEMP", savedTempLength ? savedTemp : NULL);
        scratch::RemoveTree(base);
    }

    // ChooseWorkingDir fell back to a fresh directory under the Windows
    // directory; it is removed again.
    void ExpectWindowsDirChosen()
    {
        std::string chosen = workingDir;
        EXPECT_EQ(chosen.rfind(windowsBase + "~EXB", 0), 0u) << chosen;
        EXPECT_EQ(chosen.size(), windowsBase.size() + 9) << chosen;
        EXPECT_EQ(chosen.back(), '\\');
        EXPECT_EQ(ownsWorkingDir, 1);
        EXPECT_TRUE(IsDirectory(chosen));
        RemoveDirectoryA(chosen.c_str());
    }

    char savedTemp[1024];
    DWORD savedTempLength;
    std::string base;
    std::string windowsBase;
};

TEST_F(WorkingDir, TempWithOrWithoutTrailingBackslash)
{
    for (const std::string &temp : {base, base + "\\"}) {
        SCOPED_TRACE(temp);
        SetEnvironmentVariableA("TEMP", temp.c_str());
        ASSERT_TRUE(ChooseWorkingDir(workingDir, 1));
        EXPECT_EQ(std::string(workingDir), UpperAscii(base) + "\\~EXB0000\\");
        EXPECT_EQ(ownsWorkingDir, 1);
        EXPECT_TRUE(IsDirectory(base + "\\~EXB0000"));
        RemoveDirectoryA(workingDir);
    }
}

TEST_F(WorkingDir, TakenNamesAreSkipped)
{
    CreateDirectoryA((base + "\\~EXB0000").c_str(), NULL);
    scratch::WriteFile(base + "\\~EXB0001", "taken");
    char dir[TEXT_BUFFER_SIZE] = "";
    ASSERT_EQ(TryWorkingDirBase(base.c_str(), dir, 1), 1);
    EXPECT_EQ(std::string(dir), UpperAscii(base) + "\\~EXB0002\\");
    EXPECT_EQ(ownsWorkingDir, 1);

    for (int i = 3; i <= 9; i++)
        CreateDirectoryA((base + "\\~EXB000" + std::to_string(i)).c_str(), NULL);
    ownsWorkingDir = 0;
    ASSERT_EQ(TryWorkingDirBase(base.c_str(), dir, 1), 1);
    EXPECT_EQ(std::string(dir), UpperAscii(base) + "\\~EXB000A\\");
    EXPECT_EQ(ownsWorkingDir, 1);
    EXPECT_TRUE(IsDirectory(base + "\\~EXB000A"));
}

TEST_F(WorkingDir, WindowsDirWhenTempMissingEmptyOrRejected)
{
    SetEnvironmentVariableA("TEMP", NULL);
    ASSERT_TRUE(ChooseWorkingDir(workingDir, 1));
    ExpectWindowsDirChosen();

    // Named but empty: like a missing variable.
    SetEnvironmentVariableA("TEMP", "");
    ASSERT_TRUE(ChooseWorkingDir(workingDir, 1));
    ExpectWindowsDirChosen();

    // The root "\\S" of a network path has no free space to offer.
    SetEnvironmentVariableA("TEMP", "\\\\server\\share\\x");
    ASSERT_TRUE(ChooseWorkingDir(workingDir, 1));
    ExpectWindowsDirChosen();

    // Too long for workingDir.
    SetEnvironmentVariableA("TEMP", ("C:\\" + std::string(116, 'x')).c_str());
    ASSERT_TRUE(ChooseWorkingDir(workingDir, 1));
    ExpectWindowsDirChosen();
}

TEST_F(WorkingDir, RejectedBaseLeavesOutputAlone)
{
    char dir[TEXT_BUFFER_SIZE] = "untouched";
    EXPECT_EQ(TryWorkingDirBase(NULL, dir, 1), 0);
    EXPECT_EQ(TryWorkingDirBase("", dir, 1), 0);
    EXPECT_EQ(TryWorkingDirBase("\\\\server\\share\\x", dir, 1), 0);
    EXPECT_EQ(TryWorkingDirBase("Q:\\", dir, 1), 0);
    EXPECT_STREQ(dir, "untouched");
    EXPECT_EQ(ownsWorkingDir, 0);
    EXPECT_EQ(GetFreeBytes("\\\\S"), 0u);
    EXPECT_EQ(GetFreeBytes("Q:\\"), 0u);
}

TEST_F(WorkingDir, MissingBaseIsAcceptedWithoutOwnership)
{
    SetEnvironmentVariableA("TEMP", (base + "\\missing").c_str());
    ASSERT_TRUE(ChooseWorkingDir(workingDir, 1));
    EXPECT_EQ(std::string(workingDir), UpperAscii(base) + "\\MISSING\\~EXB0000\\");
    EXPECT_EQ(ownsWorkingDir, 0);
    EXPECT_FALSE(scratch::Exists(base + "\\missing"));
}

// workingDir holds 127 characters: "~EXB", four digits and a backslash
// leave 118 for the base with its trailing backslash.
TEST_F(WorkingDir, BaseOf118CharactersFitsAndOf119DoesNot)
{
    std::string longest = base + "\\" + std::string(116 - base.size(), 'n');
    ASSERT_EQ(longest.size(), 117u);
    ASSERT_TRUE(CreateDirectoryA(longest.c_str(), NULL));
    char dir[TEXT_BUFFER_SIZE] = "untouched";

    EXPECT_EQ(TryWorkingDirBase((longest + "n\\").c_str(), dir, 1), 0);
    EXPECT_EQ(TryWorkingDirBase((longest + "n").c_str(), dir, 1), 0);
    EXPECT_STREQ(dir, "untouched");

    ASSERT_EQ(TryWorkingDirBase((longest + "\\").c_str(), dir, 1), 1);
    EXPECT_EQ(std::string(dir), UpperAscii(longest) + "\\~EXB0000\\");
    EXPECT_EQ(lstrlenA(dir), 127);
    EXPECT_EQ(ownsWorkingDir, 1);
    ASSERT_EQ(TryWorkingDirBase(longest.c_str(), dir, 1), 1);
    EXPECT_EQ(std::string(dir), UpperAscii(longest) + "\\~EXB0001\\");
}

// Code page 1252 has no Cyrillic letters, and a missing folder has no short
// form: such a TEMP is no base, never a path with '?' in it.
TEST_F(WorkingDir, TempWithoutAnAnsiFormIsRejected)
{
    ASSERT_EQ(GetACP(), 1252u);
    SetEnvironmentVariableW(L"TEMP", L"C:\\\u041c\u0438\u0448\u0430\\Temp");
    ASSERT_TRUE(ChooseWorkingDir(workingDir, 1));
    ExpectWindowsDirChosen();
}

class DISABLED_PreparedDrives : public WorkingDir {};

TEST_F(DISABLED_PreparedDrives, RemovableTempFallsBackToWindowsDir)
{
    ASSERT_EQ(GetDriveTypeA("A:\\"), static_cast<UINT>(DRIVE_REMOVABLE));
    ASSERT_TRUE(IsDirectory("A:\\temp"));
    char dir[TEXT_BUFFER_SIZE] = "untouched";
    EXPECT_EQ(TryWorkingDirBase("A:\\temp", dir, 1), 0);
    EXPECT_STREQ(dir, "untouched");

    SetEnvironmentVariableA("TEMP", "a:\\temp");
    ASSERT_TRUE(ChooseWorkingDir(workingDir, 1));
    ExpectWindowsDirChosen();
    EXPECT_FALSE(scratch::Exists("A:\\temp\\~EXB0000"));
}

// T: is a 1 MiB drive.
TEST_F(DISABLED_PreparedDrives, FreeSpaceMustCoverThePackage)
{
    ASSERT_EQ(GetDriveTypeA("T:\\"), static_cast<UINT>(DRIVE_FIXED));
    ULONGLONG free = GetFreeBytes("T:\\");
    ASSERT_GT(free, 0u);
    ASSERT_LE(free, 1024u * 1024u);
    char dir[TEXT_BUFFER_SIZE] = "untouched";
    EXPECT_EQ(TryWorkingDirBase("t:\\", dir, static_cast<DWORD>(free) + 1), 0);
    EXPECT_STREQ(dir, "untouched");
    EXPECT_EQ(TryWorkingDirBase("t:\\", dir, static_cast<DWORD>(free)), 1);
    EXPECT_STREQ(dir, "T:\\~EXB0000\\");
    EXPECT_TRUE(IsDirectory("T:\\~EXB0000"));

    SetEnvironmentVariableA("TEMP", "T:\\");
    ASSERT_TRUE(ChooseWorkingDir(workingDir, free + 1));
    ExpectWindowsDirChosen();
}

// G: is a 5 GiB drive: a 32-bit product would wrap to 1 GiB.
TEST_F(DISABLED_PreparedDrives, LargeDriveIsNeverRejected)
{
    ASSERT_GT(GetFreeBytes("G:\\"), 0xFFFFFFFFull);
    char dir[TEXT_BUFFER_SIZE] = "";
    EXPECT_EQ(TryWorkingDirBase("G:\\", dir, 0xFFFFFFFFul), 1);
    EXPECT_STREQ(dir, "G:\\~EXB0000\\");
}

// D:\~EXB0000 is a link to nowhere: GetFileAttributesA fails on it but the
// name is taken, as if another run had made it after the test.
TEST_F(DISABLED_PreparedDrives, NameTakenAfterTheTestIsPassedOver)
{
    ASSERT_FALSE(scratch::Exists("D:\\~EXB0000"));
    ASSERT_FALSE(CreateDirectoryA("D:\\~EXB0000", NULL));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    char dir[TEXT_BUFFER_SIZE] = "";
    ASSERT_EQ(TryWorkingDirBase("D:\\", dir, 1), 1);
    EXPECT_STREQ(dir, "D:\\~EXB0001\\");
    EXPECT_EQ(ownsWorkingDir, 1);
    EXPECT_TRUE(IsDirectory("D:\\~EXB0001"));
}

}  // namespace
