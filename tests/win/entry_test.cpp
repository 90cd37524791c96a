// The paths derived from a stored name, as extraction and removal both form
// them, and the names refused because their destination could lie outside
// the base.
#include <gtest/gtest.h>

#include <string>

#include "package/entry.h"

namespace {

const char BASE[] = "C:\\TEMP\\~EXB0000\\";

struct Derived {
    bool accepted;
    std::string relativeDir, entryFileName, destinationPath;
};

Derived Derive(const std::string &name, const char *prefix = "")
{
    EntryPaths entry;
    int accepted = DeriveEntryPaths(name.c_str(), prefix, BASE, &entry);
    if (!accepted)
        return {false, "", "", ""};
    return {true, entry.relativeDir, entry.entryFileName, entry.destinationPath};
}

TEST(EntryPaths, SplitCutAndJoin)
{
    Derived nested = Derive("a\\b\\f.txt");
    EXPECT_TRUE(nested.accepted);
    EXPECT_EQ(nested.relativeDir, "a\\b\\");
    EXPECT_EQ(nested.entryFileName, "f.txt");
    EXPECT_EQ(nested.destinationPath, "C:\\TEMP\\~EXB0000\\a\\b\\f.txt");

    Derived bare = Derive("SETUP.EXE");
    EXPECT_EQ(bare.relativeDir, "");
    EXPECT_EQ(bare.destinationPath, "C:\\TEMP\\~EXB0000\\SETUP.EXE");

    // The prefix is cut by its length; its bytes are not compared.
    Derived cut = Derive("xyz\\sub\\f", "abc\\");
    EXPECT_TRUE(cut.accepted);
    EXPECT_EQ(cut.relativeDir, "sub\\");
    EXPECT_EQ(cut.destinationPath, "C:\\TEMP\\~EXB0000\\sub\\f");
    EXPECT_EQ(Derive("abc\\f", "abc\\").destinationPath, "C:\\TEMP\\~EXB0000\\f");
    // Shorter than the prefix: never cut past its end.
    EXPECT_FALSE(Derive("ab\\f", "abc\\").accepted);
    EXPECT_FALSE(Derive("f", "p").accepted);
}

TEST(EntryPaths, DestinationFitsIn259Bytes)
{
    const size_t base = sizeof BASE - 1;
    std::string fits = "d\\" + std::string(259 - base - 2, 'n');
    EXPECT_EQ(Derive(fits).destinationPath.size(), 259u);
    EXPECT_FALSE(Derive(fits + "n").accepted);
    // The cut prefix does not count.
    EXPECT_TRUE(Derive("pp\\" + fits, "pp\\").accepted);
}

TEST(EntryPaths, NamesThatCouldLeaveTheBaseAreRefused)
{
    for (const char *name : {"..\\f", "a\\..\\..\\f", "..", "a\\..", "a/../../f", "../f", "...\\f", ".. \\f",
                             "a\\.. .\\f", "C:f", "C:\\f", "a\\D:\\f", "f:stream", "f::$DATA", "\\f", "\\\\srv\\s\\f",
                             "//srv/s/f", "NUL", "nul.txt", "Con", "aux .c", "a\\PRN\\f", "COM1", "lpt9.log",
                             "CONIN$", "conout$.x", "COM\xB9", "lpt\xB2.txt", "a\\LPT\xB3 .x\\f", "a\nb",
                             "a\x1F\\f", "\x01"})
        EXPECT_FALSE(Derive(name).accepted) << name;
    // Names that Windows would change: '/' is a separator to it, and it
    // drops a component's trailing dots and blanks.
    for (const char *name : {"a/b", "x\\a/b.txt", ".\\f", "a.\\f", "f.", "dir \\x.txt", "d1\\d2.\\d3 \\x.txt",
                             "a\\b..\\c. \\d.txt"})
        EXPECT_FALSE(Derive(name).accepted) << name;
    for (const char *name : {"..a\\f", "a..b", "CONSOLE", "COM10", "LPT0", "NULL.txt", "a\\b c\\f", "a\\.f",
                             "a\\\\f", " a\\ b"})
        EXPECT_TRUE(Derive(name).accepted) << name;
}

}  // namespace
