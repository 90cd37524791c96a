// The argument splitter and the switches, on the launcher's own code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/arguments.h"
#include "launcher/globals.h"
#include "launcher/switches.h"

static std::vector<std::string> Split(const char *line, int textSize = 512, int maxValues = 32)
{
    std::vector<char> text(textSize);
    std::vector<char *> values(maxValues);
    int count = SplitCommandLine(line, text.data(), textSize, values.data(), maxValues);
    std::vector<std::string> out;
    for (int i = 0; i < count; i++)
        out.push_back(values[i]);
    EXPECT_EQ(values[count], nullptr);
    return out;
}

using Args = std::vector<std::string>;

TEST(SplitCommandLine, ProgramElement)
{
    EXPECT_EQ(Split("\"C:\\Program Files\\pkg.exe\" a"), (Args{"C:\\Program Files\\pkg.exe", "a"}));
    EXPECT_EQ(Split("C:\\pkg.exe"), (Args{"C:\\pkg.exe"}));
    // No backslash rule in the program element.
    EXPECT_EQ(Split("C:\\dir\\\\pkg.exe\tx"), (Args{"C:\\dir\\\\pkg.exe", "x"}));
    EXPECT_EQ(Split("\"C:\\a b\\\"x"), (Args{"C:\\a b\\", "x"}));
    EXPECT_EQ(Split(""), (Args{""}));
}

TEST(SplitCommandLine, BlanksQuotesAndBackslashes)
{
    EXPECT_EQ(Split("p  a\t\tb   "), (Args{"p", "a", "b"}));
    EXPECT_EQ(Split("p \"a b\" c"), (Args{"p", "a b", "c"}));
    EXPECT_EQ(Split("p a\"b c\"d"), (Args{"p", "ab cd"}));
    EXPECT_EQ(Split("p \"\""), (Args{"p", ""}));
    // Backslashes are literal unless a quote follows.
    EXPECT_EQ(Split("p a\\b\\\\c\\"), (Args{"p", "a\\b\\\\c\\"}));
    // 2n backslashes and a quote: n backslashes, the quote groups.
    EXPECT_EQ(Split("p a\\\\\"b c\""), (Args{"p", "a\\b c"}));
    // 2n+1 backslashes and a quote: n backslashes and a literal quote.
    EXPECT_EQ(Split("p a\\\"b"), (Args{"p", "a\"b"}));
    EXPECT_EQ(Split("p a\\\\\\\"b c"), (Args{"p", "a\\\"b", "c"}));
    EXPECT_EQ(Split("p \"C:\\dir\\\\\""), (Args{"p", "C:\\dir\\"}));
}

TEST(SplitCommandLine, TwoQuotesInsideQuotedStretch)
{
    // One literal quote, and the stretch ends: the blank then separates.
    EXPECT_EQ(Split("p \"a\"\"b c\""), (Args{"p", "a\"b", "c"}));
    EXPECT_EQ(Split("p \"\"\"\""), (Args{"p", "\""}));
    // Outside a stretch two quotes open and close an empty one.
    EXPECT_EQ(Split("p a\"\"b"), (Args{"p", "ab"}));
}

TEST(SplitCommandLine, ArgumentsThatDoNotFitAreDroppedWhole)
{
    EXPECT_EQ(Split("p abcdefgh x", 8), (Args{"p", "x"}));
    // A full buffer has no room left for the terminator of an empty one.
    EXPECT_EQ(Split("p abcde \"\" \"\"", 8), (Args{"p", "abcde"}));
    EXPECT_EQ(Split("p a b c d", 64, 3), (Args{"p", "a"}));
}

class Switches : public testing::Test {
protected:
    void SetUp() override
    {
        silentMode = 0;
        commandLinePassword[0] = '\0';
        commandLinePasswordTooLong = 0;
        logFilePath[0] = '\0';
        logFilePathTooLong = 0;
    }
    void Read(Args args)
    {
        args.insert(args.begin(), "pkg.exe");
        std::vector<char *> values;
        for (auto &a : args)
            values.push_back(a.data());
        ReadSwitches(static_cast<int>(values.size()), values.data());
    }
};

TEST_F(Switches, NoArguments)
{
    Read({});
    EXPECT_EQ(silentMode, 0);
    EXPECT_STREQ(commandLinePassword, "");
    EXPECT_STREQ(logFilePath, "");
}

TEST_F(Switches, SilentIsAnyArgumentBeginningWithLowerDashS)
{
    Read({"-sms"});
    EXPECT_EQ(silentMode, 1);
    SetUp();
    Read({"-S", "/s", "s"});
    EXPECT_EQ(silentMode, 0);
}

TEST_F(Switches, PasswordAndLogPath)
{
    Read({"-pfirst", "-f2C:\\logs\\a.log", "-psecond", "-s"});
    EXPECT_STREQ(commandLinePassword, "second");
    EXPECT_STREQ(logFilePath, "C:\\logs\\a.log");
    EXPECT_EQ(silentMode, 1);

    SetUp();
    Read({"-p", "-f2"});
    EXPECT_STREQ(commandLinePassword, "");
    EXPECT_STREQ(logFilePath, "");
    // -P and -F2 are not switches.
    Read({"-Pupper", "-F2x"});
    EXPECT_STREQ(commandLinePassword, "");
    EXPECT_STREQ(logFilePath, "");
}

TEST_F(Switches, LogPathWithoutSilentIsKept)
{
    Read({"-f2setup.txt"});
    EXPECT_STREQ(logFilePath, "setup.txt");
    EXPECT_EQ(silentMode, 0);
}

TEST_F(Switches, OverlongValuesAreNeverCut)
{
    std::string p39(39, 'x'), p40(40, 'x');
    Read({"-p" + p39});
    EXPECT_STREQ(commandLinePassword, p39.c_str());
    EXPECT_EQ(commandLinePasswordTooLong, 0);

    Read({"-p" + p40});
    EXPECT_STREQ(commandLinePassword, "");
    EXPECT_EQ(commandLinePasswordTooLong, 1);
    // A later password that fits replaces the refused one.
    Read({"-pok"});
    EXPECT_STREQ(commandLinePassword, "ok");
    EXPECT_EQ(commandLinePasswordTooLong, 0);

    std::string path259(259, 'a'), path260(260, 'a');
    Read({"-f2" + path259});
    EXPECT_EQ(std::string(logFilePath), path259);
    EXPECT_EQ(logFilePathTooLong, 0);
    Read({"-f2" + path260});
    EXPECT_STREQ(logFilePath, "");
    EXPECT_EQ(logFilePathTooLong, 1);
}
