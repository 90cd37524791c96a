// The path helpers on literal edge cases, in a single-byte code page (1252)
// and a double-byte one (932, where 0x95 is a lead byte and 95 5C one
// character whose trail byte has the backslash's value).
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include "fsutil/path.h"

namespace {

const UINT WESTERN = 1252;
const UINT JAPANESE = 932;
const UINT BOTH[] = {WESTERN, JAPANESE};

std::pair<std::string, std::string> Split(const std::string &input, UINT codePage)
{
    char dirPart[64];
    char lastPart[64];
    SplitAtLastSeparator(input.c_str(), dirPart, lastPart, '\\', codePage);
    return {dirPart, lastPart};
}

// `path` after `edit` changed it in place.
std::string Edited(void (*edit)(char *, UINT), const std::string &path, UINT codePage)
{
    char buffer[64];
    lstrcpynA(buffer, path.c_str(), sizeof buffer);
    edit(buffer, codePage);
    return buffer;
}

std::string Appended(const std::string &path, UINT codePage)
{
    return Edited(AppendTrailingBackslash, path, codePage);
}

std::string Stripped(const std::string &path, UINT codePage)
{
    return Edited(StripTrailingBackslash, path, codePage);
}

using Parts = std::pair<std::string, std::string>;

TEST(PathCodePages, JapaneseLeadBytesAreKnown)
{
    ASSERT_TRUE(IsDBCSLeadByteEx(JAPANESE, 0x95));
    ASSERT_FALSE(IsDBCSLeadByteEx(WESTERN, 0x95));
}

TEST(SplitAtLastSeparator, SingleByteTextAlike)
{
    for (UINT cp : BOTH) {
        SCOPED_TRACE(cp);
        EXPECT_EQ(Split("", cp), Parts("", ""));
        EXPECT_EQ(Split("SETUP.EXE", cp), Parts("", "SETUP.EXE"));
        EXPECT_EQ(Split("A\\B\\C", cp), Parts("A\\B\\", "C"));
        EXPECT_EQ(Split("A\\B\\", cp), Parts("A\\B\\", ""));
        EXPECT_EQ(Split("\\", cp), Parts("\\", ""));
        // A separator in the first byte of a longer input is not found.
        EXPECT_EQ(Split("\\A", cp), Parts("", "\\A"));
        EXPECT_EQ(Split("\\AB", cp), Parts("", "\\AB"));
        EXPECT_EQ(Split("A/B", cp), Parts("", "A/B"));
    }
}

TEST(SplitAtLastSeparator, TrailByte5C)
{
    EXPECT_EQ(Split("DIR\\\x95\x5C", JAPANESE), Parts("DIR\\", "\x95\x5C"));
    EXPECT_EQ(Split("\x95\x5C", JAPANESE), Parts("", "\x95\x5C"));
    EXPECT_EQ(Split("A\\\x95\x5C\x95\x5C", JAPANESE), Parts("A\\", "\x95\x5C\x95\x5C"));
    // A lone lead byte before the terminator is a character of its own.
    EXPECT_EQ(Split("A\\\x95", JAPANESE), Parts("A\\", "\x95"));

    EXPECT_EQ(Split("DIR\\\x95\x5C", WESTERN), Parts("DIR\\\x95\x5C", ""));
    EXPECT_EQ(Split("\x95\x5C" "AB", WESTERN), Parts("\x95\x5C", "AB"));
}

TEST(FindNthSeparator, CountsSingleByteSeparatorsOnly)
{
    for (UINT cp : BOTH) {
        SCOPED_TRACE(cp);
        EXPECT_EQ(FindNthSeparator("A\\B\\", '\\', 1, cp), 1);
        EXPECT_EQ(FindNthSeparator("A\\B\\", '\\', 2, cp), 3);
        EXPECT_EQ(FindNthSeparator("A\\B\\", '\\', 3, cp), 0);
        EXPECT_EQ(FindNthSeparator("A\\B\\", '\\', 0, cp), 0);
        EXPECT_EQ(FindNthSeparator("A\\B\\", '\\', -1, cp), 0);
        EXPECT_EQ(FindNthSeparator("", '\\', 1, cp), 0);
        // The separator at offset 0 is counted but reads as none.
        EXPECT_EQ(FindNthSeparator("\\A", '\\', 1, cp), 0);
        EXPECT_EQ(FindNthSeparator("\\A\\", '\\', 2, cp), 2);
        EXPECT_EQ(FindNthSeparator("A/B\\", '/', 1, cp), 1);
    }
    EXPECT_EQ(FindNthSeparator("\x95\x5C\\", '\\', 1, JAPANESE), 2);
    EXPECT_EQ(FindNthSeparator("\x95\x5C\\", '\\', 1, WESTERN), 1);
    EXPECT_EQ(FindNthSeparator("\x95\x5C\\", '\\', 2, WESTERN), 2);
}

TEST(AppendTrailingBackslash, OnlyWhenTheLastCharacterIsNone)
{
    for (UINT cp : BOTH) {
        SCOPED_TRACE(cp);
        EXPECT_EQ(Appended("", cp), "");
        EXPECT_EQ(Appended("C:", cp), "C:\\");
        EXPECT_EQ(Appended("C:\\", cp), "C:\\");
    }
    EXPECT_EQ(Appended("\x95\x5C", JAPANESE), "\x95\x5C\\");
    EXPECT_EQ(Appended("A\x95", JAPANESE), "A\x95\\");
    EXPECT_EQ(Appended("\x95\x5C", WESTERN), "\x95\x5C");
    EXPECT_EQ(Appended("A\x95", WESTERN), "A\x95\\");
}

TEST(StripTrailingBackslash, RemovesOneSingleByteBackslash)
{
    for (UINT cp : BOTH) {
        SCOPED_TRACE(cp);
        EXPECT_EQ(Stripped("", cp), "");
        EXPECT_EQ(Stripped("A\\", cp), "A");
        EXPECT_EQ(Stripped("A\\\\", cp), "A\\");
        EXPECT_EQ(Stripped("A", cp), "A");
    }
    EXPECT_EQ(Stripped("\x95\x5C", JAPANESE), "\x95\x5C");
    EXPECT_EQ(Stripped("A\x95", JAPANESE), "A\x95");
    EXPECT_EQ(Stripped("\x95\x5C", WESTERN), "\x95");
}

TEST(EndsWithChar, LastCharacterMustBeThatSingleByte)
{
    for (UINT cp : BOTH) {
        SCOPED_TRACE(cp);
        EXPECT_EQ(EndsWithChar("A\\", '\\', cp), 1);
        EXPECT_EQ(EndsWithChar("A", '\\', cp), 0);
        EXPECT_EQ(EndsWithChar("", '\\', cp), 0);
        EXPECT_EQ(EndsWithChar("", '\0', cp), 0);
        EXPECT_EQ(EndsWithChar("AB", 'B', cp), 1);
    }
    EXPECT_EQ(EndsWithChar("\x95\x5C", '\\', JAPANESE), 0);
    EXPECT_EQ(EndsWithChar("A\x95", '\x95', JAPANESE), 0);
    EXPECT_EQ(EndsWithChar("\x95\x5C", '\\', WESTERN), 1);
    EXPECT_EQ(EndsWithChar("A\x95", '\x95', WESTERN), 1);
}

// Production calls leave out the code page: the process's ANSI one applies.
TEST(PathCodePages, DefaultIsTheAnsiCodePage)
{
    const UINT acp = GetACP();
    EXPECT_EQ(EndsWithChar("\x95\x5C", '\\'), EndsWithChar("\x95\x5C", '\\', acp));
    EXPECT_EQ(FindNthSeparator("\x95\x5C\\", '\\', 1), FindNthSeparator("\x95\x5C\\", '\\', 1, acp));
}

}  // namespace
