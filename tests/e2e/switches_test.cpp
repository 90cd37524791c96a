// The switches -s, -p and -f2 on the real launcher: which runs are silent,
// which password counts, and where the silent log goes.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

const char WRONG_PASSWORD[] = "You have entered an incorrect password.\r\n";

sfxpack::Package Plain()
{
    sfxpack::Package package;
    package.entries = {MakeEntry("A.TXT", 10, 1)};
    return package;
}

sfxpack::Package Locked()
{
    sfxpack::Package package = Plain();
    package.password = "right";
    return package;
}

class Switches : public testing::Test {
protected:
    // Runs `package` with `arguments`, its current directory elsewhere.
    void RunWith(const sfxpack::Package &package, const std::string &arguments)
    {
        std::filesystem::create_directories(dir / "elsewhere");
        e2e::Run run;
        run.arguments = arguments;
        run.currentDir = WinePath(dir / "elsewhere");
        ASSERT_EQ(RunPackage(dir, package, run), 0);
    }
    TempDir dir;
};

TEST_F(Switches, AnyArgumentBeginningWithLowerDashSIsSilent)
{
    RunWith(Plain(), "-sms");
    EXPECT_TRUE(Exists(dir / "SETUP.LOG"));
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), "");
    EXPECT_TRUE(Exists(dir / "temp/~EXB0000/A.TXT"));
}

TEST_F(Switches, CapitalDashSIsNotSilent)
{
    // Shown: the progress window comes and goes, and no log is written.
    RunWith(Plain(), "-S");
    EXPECT_FALSE(Exists(dir / "SETUP.LOG"));
    EXPECT_TRUE(Exists(dir / "temp/~EXB0000/A.TXT"));
}

TEST_F(Switches, LogPathWithoutSilentWritesNoLog)
{
    RunWith(Plain(), "-f2mine.log");
    EXPECT_EQ(ListTree(dir.path()),
              (std::vector<std::string>{"elsewhere/", "pkg.exe", "temp/", "temp/~EXB0000/", "temp/~EXB0000/A.TXT"}));
}

TEST_F(Switches, BareLogNameLiesBesideThePackage)
{
    // -f2 may stand before or after -s.
    RunWith(Locked(), "-f2mine.log -s");
    EXPECT_EQ(ReadText(dir / "mine.log"), WRONG_PASSWORD);
    EXPECT_FALSE(Exists(dir / "SETUP.LOG"));
    EXPECT_FALSE(Exists(dir / "elsewhere/mine.log"));
}

TEST_F(Switches, LogPathWithAFolderIsUsedAsItStands)
{
    std::filesystem::create_directories(dir / "logs");
    RunWith(Locked(), "-s \"-f2" + WinePath(dir / "logs/run.log") + "\"");
    EXPECT_EQ(ReadText(dir / "logs/run.log"), WRONG_PASSWORD);

    // Relative to the current directory.
    std::filesystem::create_directories(dir / "elsewhere/sub");
    RunWith(Locked(), "-s -f2sub\\run.log");
    EXPECT_EQ(ReadText(dir / "elsewhere/sub/run.log"), WRONG_PASSWORD);

    // Fixed when the log is opened: the line after the removal pass, which
    // moves the current directory, goes to the same file.
    sfxpack::Package missing = Plain();
    missing.setupCommand = "missing.exe";
    RunWith(missing, "-s -f2sub\\late.log");
    EXPECT_EQ(ReadText(dir / "elsewhere/sub/late.log"), "WinExec failed: return=2\r\n");
}

TEST_F(Switches, LogPathsOver259CharactersMeanNoLog)
{
    // Neither the default log nor a cut name: no log at all. Too long as
    // given, or only once made a full path.
    WriteText(dir / "SETUP.LOG", "an old line\r\n");
    std::filesystem::create_directories(dir / "elsewhere/sub");
    RunWith(Locked(), "-s -f2" + std::string(260, 'a'));
    RunWith(Locked(), "-s -f2sub\\" + std::string(250, 'b'));
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), "an old line\r\n");
    EXPECT_EQ(ListTree(dir / "elsewhere"), std::vector<std::string>{"sub/"});
}

TEST_F(Switches, EmptyLogPathMeansTheDefaultLog)
{
    RunWith(Locked(), "-s -f2");
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), WRONG_PASSWORD);
}

TEST_F(Switches, EverySilentRunStartsWithAnEmptyLog)
{
    WriteText(dir / "SETUP.LOG", "an old line\r\n");
    RunWith(Locked(), "-s");
    RunWith(Locked(), "-s");
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), WRONG_PASSWORD);
}

TEST_F(Switches, LogThatCannotBeOpenedLosesItsLinesOnly)
{
    RunWith(Locked(), "-s -f2" + WinePath(dir / "missing/run.log"));
    EXPECT_FALSE(Exists(dir / "missing"));
    EXPECT_FALSE(Exists(dir / "SETUP.LOG"));
}

TEST_F(Switches, QuotedDoubleByteTextEndsAtItsQuote)
{
    // In code page 932 表 is 0x95 0x5C: its trail byte before the closing
    // quote is no backslash, so the quote ends the argument, and -s and -p
    // after it count. Otherwise the password dialog would wait for a user.
    std::filesystem::create_directories(dir / "elsewhere");
    e2e::Run run;
    run.arguments = "\"x 表\" -s -pright";
    run.currentDir = WinePath(dir / "elsewhere");
    run.locale = "ja_JP.UTF-8";
    run.timeoutMs = 20000;
    ASSERT_EQ(RunPackage(dir, Locked(), run), 0);
    EXPECT_TRUE(Exists(dir / "SETUP.LOG"));
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), "");
    EXPECT_TRUE(Exists(dir / "temp/~EXB0000/A.TXT"));
}

TEST_F(Switches, CommandLineOfDoubleByteCharactersPast32767Bytes)
{
    // In code page 932 the command line's ANSI form takes two bytes for each
    // of these characters: a line of fewer than 32767 characters holds more
    // bytes than that. The long argument nearly fills 32767 bytes; every
    // argument after it still counts, the empty ones too, and none is
    // written past the end of the launcher's buffer.
    std::string wide;
    for (int i = 0; i < 16300; i++)
        wide += "表";
    std::string empties;
    for (int i = 0; i < 300; i++)
        empties += " \"\"";
    std::filesystem::create_directories(dir / "elsewhere");
    e2e::Run run;
    run.arguments = wide + empties + " -s -pright";
    run.currentDir = WinePath(dir / "elsewhere");
    run.locale = "ja_JP.UTF-8";
    run.timeoutMs = 20000;
    ASSERT_EQ(RunPackage(dir, Locked(), run), 0);
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), "");
    EXPECT_TRUE(Exists(dir / "temp/~EXB0000/A.TXT"));
}

TEST_F(Switches, TheLastPasswordCounts)
{
    RunWith(Locked(), "-s -pwrong -pright");
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), "");
    EXPECT_TRUE(Exists(dir / "temp/~EXB0000/A.TXT"));

    RunWith(Locked(), "-s -pright -pwrong");
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), WRONG_PASSWORD);
}

// The password is compared byte for byte: a soft hyphen (U+00AD, the byte
// 0xAD in code page 1252), which the locale's comparison passes over, is a
// character like any other.
TEST_F(Switches, ASoftHyphenIsPartOfThePassword)
{
    sfxpack::Package package = Plain();
    package.password = "secret";
    package.exitCodes = true;
    e2e::Run run;
    run.locale = "C.UTF-8";
    for (const char *given : {"-psec\u00ADret", "-psecret\u00AD"}) {
        SCOPED_TRACE(given);
        run.arguments = std::string("-s ") + given;
        EXPECT_EQ(RunPackage(dir, package, run), 86);  // ERROR_INVALID_PASSWORD
        EXPECT_EQ(ReadText(dir / "SETUP.LOG"), WRONG_PASSWORD);
    }
    run.arguments = "-s -psecret";
    EXPECT_EQ(RunPackage(dir, package, run), 0);
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), "");
}

}  // namespace
