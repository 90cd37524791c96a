// The sfxpack command line, run as a real process on real folders.
#include "tests/unit/support.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>

#include "sfxpack/pe/resource_tree.h"
#include "sfxpack/pe/string_table.h"
#include "sfxpack/read/reader.h"

namespace {

using namespace unit;

void SetTime(const std::string &path, int64_t unixTime)
{
    struct timespec times[2] = {{static_cast<time_t>(unixTime), 0}, {static_cast<time_t>(unixTime), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

std::string Repeat(const std::string &text, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; i++)
        out += text;
    return out;
}

std::string Pattern(size_t size)
{
    std::string text(size, '\0');
    for (size_t i = 0; i < size; i++)
        text[i] = static_cast<char>(i * 7 + (i >> 9));
    return text;
}

const char NOT_A_LAUNCHER_CODE_PAGE[] =
    " is not an ASCII-compatible Windows code page, the only kind the launcher can read names in: 874, 932, 936, "
    "949, 950, 1250 to 1258, or the OEM code pages 437, 737, 775, 850, 852, 855, 857, 858, 860 to 863, 865, 866 "
    "and 869";

class Cli : public testing::Test {
protected:
    void SetUp() override
    {
        stub = StubPath();
        ASSERT_FALSE(stub.empty()) << "neither the stand-in stub nor the launcher is built";
        in = tmp / "in";
        out = tmp / "out/pkg.exe";
        fs::create_directories(in);
        fs::create_directories(tmp / "out");
    }

    Result Create(std::vector<std::string> options, const std::string &dir = "")
    {
        std::vector<std::string> args{"create", "-o", out, "--stub", stub};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(dir.empty() ? in : dir);
        return RunCli(args, {"TZ=UTC0"});
    }

    // A refusal: exit 1, the exact message, and nothing left in the output
    // folder, neither OUT nor a temporary.
    void ExpectRefused(const Result &result, const std::string &message)
    {
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "sfxpack: " + message + "\n");
        EXPECT_TRUE(fs::is_empty(tmp / "out")) << "left behind: " << fs::directory_iterator(tmp / "out")->path();
    }

    std::string Listing(const std::vector<std::string> &options = {})
    {
        std::vector<std::string> args{"list", out};
        args.insert(args.end(), options.begin(), options.end());
        Result result = RunCli(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
        return result.out;
    }

    TempDir tmp;
    std::string stub, in, out;
};

TEST_F(Cli, CreateThenListGivesBackEveryFieldNameSizeTimeAndByte)
{
    WriteFile(in + "/a.txt", "hello");
    WriteFile(in + "/Zed.txt", "Z");
    WriteFile(in + "/sub/b.bin", Pattern(20000));
    WriteFile(in + "/sub/deeper/c.txt", Pattern(8192));
    SetTime(in + "/a.txt", 1614834367);            // 2021-03-04 05:06:07
    SetTime(in + "/Zed.txt", 315532799);           // 1979: clamped
    SetTime(in + "/sub/b.bin", 951868799);         // 2000-02-29 23:59:59
    SetTime(in + "/sub/deeper/c.txt", 4354819200); // 2108: clamped

    Result result = Create({"--no-integrity", "--title", "Product", "--setup", "setup.exe /q", "--password", "pw",
                            "--source-prefix", "C:\\build\\src"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");

    size_t stubSize = fs::file_size(stub);
    const char *prefix = "C:\\build\\src\\";  // the backslash is appended
    size_t names = 4 * 13 + 7 + 5 + 9 + 16, sizes = 5 + 1 + 20000 + 8192;
    size_t length = stubSize + 4 * 12 + names + sizes;
    std::string expected = "headerSize: 404\nformatVersion: 6\npayloadOffset: " + std::to_string(stubSize) +
                           "\nentryCount: 4\npackageLength: " + std::to_string(length) +
                           "\ntotalBlocks: 6\nreserved: 0\nintegrity: no\nexitCodes: no\nresourceSize: 404\nfileLength: " + std::to_string(length) +
                           "\npasswordSet: yes\nsetupCommand: setup.exe /q\nproductTitle: Product\n"
                           "sourcePrefix: C:\\build\\src\\\n"
                           "icons: 32x32 16x16\nversion: none\nmanifest: none\n"
                           "caption: Tollivex Self-extracting EXE\nlanguages: en_US\n"
                           "entry: 1 1980-01-01 00:00:00 C:\\build\\src\\Zed.txt\n"
                           "entry: 5 2021-03-04 05:06:06 C:\\build\\src\\a.txt\n"
                           "entry: 20000 2000-02-29 23:59:58 C:\\build\\src\\sub\\b.bin\n"
                           "entry: 8192 2107-12-31 23:59:58 C:\\build\\src\\sub\\deeper\\c.txt\n";
    EXPECT_EQ(Listing(), expected);
    std::string shown = Listing({"--show-password"});
    EXPECT_NE(shown.find("\npasswordSet: yes\npassword: pw\nsetupCommand:"), std::string::npos) << shown;

    sfxpack::ParsedPackage parsed = Parse(ReadFile(out));
    ASSERT_EQ(parsed.entries.size(), 4u);
    Bytes file = ReadFile(out);
    const std::string contents[] = {"Z", "hello", Pattern(20000), Pattern(8192)};
    for (int i = 0; i < 4; i++) {
        const sfxpack::ParsedEntry &entry = parsed.entries[i];
        EXPECT_EQ(std::string(file.begin() + entry.dataOffset, file.begin() + entry.dataOffset + entry.size),
                  contents[i]);
        EXPECT_EQ(entry.name.compare(0, 13, prefix), 0);
    }
    // The output is the stub, then the entries: the stub's bytes outside the
    // placeholder are unchanged.
    Bytes stubBytes = ReadFile(stub);
    EXPECT_TRUE(std::equal(stubBytes.begin(), stubBytes.begin() + parsed.resource.fileOffset, file.begin()));
}

TEST_F(Cli, CompressedPackagesAreListedVerifiedAndExtracted)
{
    WriteFile(in + "/a.txt", "hello");
    WriteFile(in + "/sub/b.bin", Pattern(20000));
    SetTime(in + "/a.txt", 1614834367);  // 2021-03-04 05:06:07
    SetTime(in + "/sub/b.bin", 951868799);
    Result result = Create({"--compress", "--no-integrity"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "sfxpack: --compress and --no-integrity exclude each other: a compressed package always "
                          "carries the integrity record (see 'sfxpack create --help')\n");
    result = Create({"--compress", "--exit-codes"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    size_t unpacked = 2 * 12 + 5 + 9 + 5 + 20000;
    std::string listing = Listing();
    const std::string expected[] = {
        "\nreserved: 1919\nintegrity: yes\nexitCodes: yes\n",
        "\ncompression: lzma\nchunks: 1\nunpackedLength: " + std::to_string(unpacked) + "\nratio: ",
        "\nentry: 5 2021-03-04 05:06:06 a.txt\nentry: 20000 2000-02-29 23:59:58 sub\\b.bin\n"};
    for (const std::string &lines : expected)
        EXPECT_NE(listing.find(lines), std::string::npos) << lines << " in\n" << listing;

    result = RunCli({"verify", out});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, out + ": intact; integrity record: present, 2 entries checked\n");
    result = RunCli({"extract", out, tmp / "x"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    Bytes hello = {'h', 'e', 'l', 'l', 'o'};
    std::string pattern = Pattern(20000);
    EXPECT_TRUE(ReadFile(tmp / "x/a.txt") == hello);
    EXPECT_TRUE(ReadFile(tmp / "x/sub/b.bin") == Bytes(pattern.begin(), pattern.end()));

    // The last packed byte, before the record of 2 entries.
    Bytes damaged = ReadFile(out);
    damaged[damaged.size() - IntegrityRecordSize(2) - 1] ^= 0x01;
    WriteFile(out, std::string(damaged.begin(), damaged.end()));
    for (const std::vector<std::string> &command : {std::vector<std::string>{"verify", out},
                                                    std::vector<std::string>{"extract", out, tmp / "extract"}}) {
        result = RunCli(command);
        EXPECT_EQ(result.exitCode, 1) << command[0];
        EXPECT_NE(result.err.find(": chunk 1 of 1 at offset "), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(": its bytes give CRC-32 0x"), std::string::npos) << result.err;
    }
    EXPECT_FALSE(fs::exists(tmp / "extract/a.txt"));
}

TEST_F(Cli, TimeStampsAreLocalTime)
{
    WriteFile(in + "/a.txt", "hello");
    SetTime(in + "/a.txt", 1614834367);
    Result result = RunCli({"create", "-o", out, "--stub", stub, in}, {"TZ=JST-9"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(Listing().find("entry: 5 2021-03-04 14:06:06 a.txt\n"), std::string::npos);

    // Stored as the local time of each date, daylight saving included;
    // extract reads them back as the launcher does, less the one offset the
    // zone has at the moment of extraction, whatever the date.
    const char *zone = "TZ=CET-1CEST,M3.5.0,M10.5.0/3";
    fs::remove(in + "/a.txt");
    WriteFile(in + "/winter.txt", "w");
    SetTime(in + "/winter.txt", 1610708400);  // 2021-01-15 12:00 CET
    WriteFile(in + "/summer.txt", "s");
    SetTime(in + "/summer.txt", 1626343200);  // 2021-07-15 12:00 CEST
    ASSERT_EQ(RunCli({"create", "-o", out, "--stub", stub, in}, {zone}).exitCode, 0);
    std::string listing = Listing();
    EXPECT_NE(listing.find("entry: 1 2021-01-15 12:00:00 winter.txt\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("entry: 1 2021-07-15 12:00:00 summer.txt\n"), std::string::npos) << listing;
    result = RunCli({"extract", out, tmp / "x"}, {zone});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    struct stat winter, summer;
    ASSERT_EQ(stat((tmp / "x/winter.txt").c_str(), &winter), 0);
    ASSERT_EQ(stat((tmp / "x/summer.txt").c_str(), &summer), 0);
    EXPECT_EQ(summer.st_mtime - winter.st_mtime, 181 * 86400);
    EXPECT_TRUE(winter.st_mtime == 1610708400 || winter.st_mtime == 1610708400 - 3600) << winter.st_mtime;
}

TEST_F(Cli, SameInputSameBytesWhateverTheOrderOnDisk)
{
    std::string second = tmp / "second";
    const char *names[] = {"b/x.txt", "a.txt", "B.txt", "c/d/e.txt", "a b.txt", "a-b.txt"};
    for (const char *name : names)
        WriteFile(in + "/" + name, name);
    for (int i = 5; i >= 0; i--)
        WriteFile(second + "/" + names[i], names[i]);
    for (const char *name : names) {
        SetTime(in + "/" + name, 1614834367);
        SetTime(second + "/" + name, 1614834367);
    }
    ASSERT_EQ(Create({"--title", "T"}).exitCode, 0);
    Bytes first = ReadFile(out);
    fs::remove(out);
    ASSERT_EQ(Create({"--title", "T"}, second).exitCode, 0);
    EXPECT_EQ(ReadFile(out), first);
    std::string listing = Listing();
    EXPECT_NE(listing.find("B.txt\nentry: 7 2021-03-04 05:06:06 a b.txt\nentry: 7 2021-03-04 05:06:06 a-b.txt\n"
                           "entry: 5 2021-03-04 05:06:06 a.txt\nentry: 7 2021-03-04 05:06:06 b\\x.txt\n"),
              std::string::npos)
        << listing;

    // The package written into the folder it packs is left out of the next
    // run, by whatever path it is named: the same bytes again.
    std::string inside = in + "/pkg.exe";
    Result result = RunCli({"create", "-o", inside, "--stub", stub, "--title", "T", in}, {"TZ=UTC0"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ReadFile(inside), first);
    result = RunCli({"create", "-o", tmp / "second/../in/./pkg.exe", "--stub", stub, "--title", "T", in}, {"TZ=UTC0"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "sfxpack: warning: " + inside + ": the package being written (-o); left out\n");
    EXPECT_EQ(ReadFile(inside), first);
}

TEST_F(Cli, CodePage1252StoresOneByteCharacters)
{
    WriteFile(in + "/caf\xC3\xA9.txt", "x");
    ASSERT_EQ(Create({"--title", "Caf\xC3\xA9 \xE2\x82\xAC"}).exitCode, 0);
    sfxpack::ParsedPackage parsed = Parse(ReadFile(out));
    EXPECT_EQ(parsed.productTitle, "Caf\xE9 \x80");
    ASSERT_EQ(parsed.entries.size(), 1u);
    EXPECT_EQ(parsed.entries[0].name, "caf\xE9.txt");
    std::string listing = Listing();
    EXPECT_NE(listing.find("productTitle: Caf\xC3\xA9 \xE2\x82\xAC\n"), std::string::npos);
    EXPECT_NE(listing.find(" caf\xC3\xA9.txt\n"), std::string::npos);
}

TEST_F(Cli, CodePage932StoresDoubleByteNamesWithBackslashTrailBytes)
{
    // "表" is 0x95 0x5C in code page 932: a trail byte equal to a backslash.
    WriteFile(in + "/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E/\xE8\xA1\xA8.txt", "data");
    WriteFile(in + "/\xE8\xA1\xA8\xE8\xA1\xA8/a.txt", "x");
    Result result = Create({"--codepage", "932", "--title", "\xE8\xA1\xA8\xE7\xA4\xBA", "--source-prefix",
                            "D:\\\xE8\xA1\xA8"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    sfxpack::ParsedPackage parsed = Parse(ReadFile(out));
    EXPECT_EQ(parsed.productTitle, "\x95\x5C\x8E\xA6");
    EXPECT_EQ(parsed.sourcePrefix, "D:\\\x95\x5C\\");
    ASSERT_EQ(parsed.entries.size(), 2u);
    EXPECT_EQ(parsed.entries[0].name, "D:\\\x95\x5C\\\x93\xFA\x96\x7B\x8C\xEA\\\x95\x5C.txt");
    EXPECT_EQ(parsed.entries[1].name, "D:\\\x95\x5C\\\x95\x5C\x95\x5C\\a.txt");
    std::string listing = Listing({"--codepage", "932"});
    EXPECT_NE(listing.find("entry: 4 "), std::string::npos);
    EXPECT_NE(listing.find(" D:\\\xE8\xA1\xA8\\\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\\\xE8\xA1\xA8.txt\n"),
              std::string::npos)
        << listing;
}

TEST_F(Cli, RefusesCharactersTheCodePageCannotHold)
{
    WriteFile(in + "/\xE6\x97\xA5.txt", "x");
    ExpectRefused(Create({}), in + "/\xE6\x97\xA5.txt: the name cannot be written in code page 1252: the character "
                                   "'\xE6\x97\xA5' (U+65E5) has no place in code page 1252");
    fs::remove_all(in);
    WriteFile(in + "/a.txt", "x");
    // A best-fit 'a' would be wrong: refused.
    ExpectRefused(Create({"--title", "\xC4\x81"}),
                  "--title: cannot be written in code page 1252: the character '\xC4\x81' (U+0101) has no place in "
                  "code page 1252");
    ExpectRefused(Create({"--codepage", "932", "--setup", "\xE2\x82\xAC"}),
                  "--setup: cannot be written in code page 932: the character '\xE2\x82\xAC' (U+20AC) has no place "
                  "in code page 932");
    ExpectRefused(Create({"--password", "\xFF"}), "--password: cannot be written in code page 1252: invalid UTF-8 at byte 0");
    WriteFile(in + "/sub/a\xFF.txt", "x");
    ExpectRefused(Create({}), in + "/sub/a\\xFF.txt: the name is not valid UTF-8 (byte " + std::to_string(in.size() + 6) +
                                  ")");
    fs::remove_all(in + "/sub");
    // Characters whose bytes read back, as the launcher's system reads them
    // (character by character, nothing composed), as another character: a
    // yen sign stored as '\' would put "a¥b.txt" into folder "a".
    const struct {
        int codePage;
        std::string name, character;
    } lookAlikes[] = {
        {932, "a\xC2\xA5" "b.txt", "'\xC2\xA5' (U+00A5)"},
        {932, "\xE3\x80\x9C.txt", "'\xE3\x80\x9C' (U+301C)"},    // wave dash, read back as U+FF5E
        {1258, "\xE1\xBA\xA5.txt", "'\xE1\xBA\xA5' (U+1EA5)"},    // stored as a and a combining mark
        {1258, "a\xCD\x80.txt", "'\xCD\x80' (U+0340)"},            // read back as U+0300
        {1253, "\xE1\xBF\xAE.txt", "'\xE1\xBF\xAE' (U+1FEE)"},    // read back as U+0385
    };
    for (const auto &one : lookAlikes) {
        fs::remove_all(in);
        WriteFile(in + "/" + one.name, "x");
        ExpectRefused(Create({"--codepage", std::to_string(one.codePage)}),
                      in + "/" + one.name + ": the name cannot be written in code page " +
                          std::to_string(one.codePage) + ": the character " + one.character +
                          " has no place in code page " + std::to_string(one.codePage));
    }
    // What reads back as itself is taken: U+FF5E in 932, a and a combining
    // acute in 1258, U+0385 in 1253.
    for (const auto &[codePage, name] : std::vector<std::pair<std::string, std::string>>{
             {"932", "\xEF\xBD\x9E.txt"}, {"1258", "a\xCC\x81.txt"}, {"1253", "\xCE\x85.txt"}}) {
        fs::remove_all(in);
        fs::remove_all(tmp / "out");
        fs::create_directories(tmp / "out");
        WriteFile(in + "/" + name, "x");
        Result taken = Create({"--codepage", codePage});
        EXPECT_EQ(taken.exitCode, 0) << codePage << ": " << taken.err;
        EXPECT_NE(Listing({"--codepage", codePage}).find(" " + name + "\n"), std::string::npos) << codePage;
    }
    fs::remove_all(tmp / "out");
    fs::create_directories(tmp / "out");
    fs::remove_all(in);
    WriteFile(in + "/a.txt", "x");
    // An EBCDIC code page would store "../x" as bytes that pass every check
    // of the stored name: refused before anything is read or written.
    Result usage = Create({"--codepage", "500"});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_EQ(usage.err, "sfxpack: --codepage: code page 500" + std::string(NOT_A_LAUNCHER_CODE_PAGE) +
                             " (see 'sfxpack create --help')\n");
    EXPECT_TRUE(fs::is_empty(tmp / "out"));
}

TEST_F(Cli, RefusesTextsLongerThanTheirFields)
{
    WriteFile(in + "/a.txt", "x");
    ExpectRefused(Create({"--password", std::string(40, 'p')}), "--password: 40 bytes in code page 1252; at most 39 fit");
    ExpectRefused(Create({"--setup", std::string(128, 's')}), "--setup: 128 bytes in code page 1252; at most 127 fit");
    ExpectRefused(Create({"--title", std::string(80, 't')}), "--title: 80 bytes in code page 1252; at most 79 fit");
    ExpectRefused(Create({"--source-prefix", std::string(127, 'c')}),
                  "--source-prefix: 128 bytes in code page 1252; at most 127 fit");
    // Lengths count after conversion: 79 two-byte UTF-8 characters fit.
    Result result = Create({"--password", std::string(39, 'p'), "--setup", std::string(127, 's'), "--title",
                            Repeat("\xC3\xA9", 79), "--source-prefix", std::string(126, 'c')});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    sfxpack::ParsedPackage parsed = Parse(ReadFile(out));
    EXPECT_EQ(parsed.productTitle, std::string(79, '\xE9'));
    EXPECT_EQ(parsed.sourcePrefix, std::string(126, 'c') + "\\");
}

TEST_F(Cli, RefusesNamesTheLauncherCannotTake)
{
    const std::string DEVICE =
        "the name has a component that Windows takes for a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9 "
        "and the like)";
    const struct {
        std::string name;
        std::string why;
    } cases[] = {
        {"empty.txt", "the file is empty; the launcher cannot store a file of 0 bytes (--skip-empty leaves it out)"},
        {"a/.../x.txt", "the name has a '..' component"},
        {"a/..  /x.txt", "the name has a '..' component"},
        {"..\\x.txt", "the name has a '..' component"},
        {"a\\b.txt", "the name holds '\\', which Windows does not allow in file names"},
        {"a:b.txt", "the name holds ':', which Windows does not allow in file names"},
        {"a\tb.txt", "the name holds '\\x09', which Windows does not allow in file names"},
        // What the launcher takes for climbing up or for a device, by the
        // same rules: Windows drops trailing dots and blanks.
        {" ../x.txt", "the name has a '..' component"},
        {". ./x.txt", "the name has a '..' component"},
        {"aux.c", DEVICE},
        {"src/con.h", DEVICE},
        {"LPT1 .log", DEVICE},
        {"COM\xC2\xB9.txt", DEVICE},  // COM¹, byte B9 in code page 1252
        // Windows drops a component's trailing dots and blanks: "a." would
        // be written as "a", "dir./x" into "dir".
        {"a.", "the name has a component ending in a dot or a blank ('a.'), which Windows drops"},
        {"b ", "the name has a component ending in a dot or a blank ('b '), which Windows drops"},
        {"dir./x", "the name has a component ending in a dot or a blank ('dir.'), which Windows drops"},
    };
    for (const auto &bad : cases) {
        fs::remove_all(in);
        WriteFile(in + "/ok.txt", "fine");
        WriteFile(in + "/" + bad.name, bad.name == "empty.txt" ? "" : "x");
        ExpectRefused(Create({}), in + "/" + bad.name + ": " + bad.why);
    }
    // Two or more dots only; a dot inside a name or a lone dot is harmless.
    fs::remove_all(in);
    WriteFile(in + "/...txt", "x");
    WriteFile(in + "/a/. b/x", "x");
    EXPECT_EQ(Create({}).exitCode, 0);
}

TEST_F(Cli, RefusesStoredNamesPast260BytesAndWarnsAboutLongPaths)
{
    std::string prefix(99, 'p');  // 100 bytes with its backslash
    std::string dir = std::string(100, 'd') + "/";
    WriteFile(in + "/" + dir + std::string(60, 'f'), "x");  // 100 + 161 = 261
    ExpectRefused(Create({"--source-prefix", prefix}),
                  in + "/" + dir + std::string(60, 'f') + ": the stored name is 261 bytes, more than 260");

    fs::remove_all(in);
    WriteFile(in + "/" + dir + std::string(59, 'f'), "x");  // 260: taken, no warning at 160
    Result result = Create({"--source-prefix", prefix});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");

    // Below the working directory: 195 bytes pass silently, 196 warn.
    fs::remove(out);
    fs::remove_all(in);
    WriteFile(in + "/" + dir + std::string(94, 'f'), "x");
    std::string longer = dir + std::string(95, 'g');
    WriteFile(in + "/" + longer, "x");
    result = Create({});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "sfxpack: warning: " + in + "/" + longer +
                              ": 196 bytes of path below the working directory leave fewer than 64 of the "
                              "launcher's 259 for the working directory\n");
    EXPECT_TRUE(fs::exists(out));

    // 248 bytes fit no working folder at all: refused, as the launcher would.
    fs::remove(out);
    fs::remove_all(in);
    std::string tooLong = dir + std::string(147, 'h');
    WriteFile(in + "/" + tooLong, "x");
    ExpectRefused(Create({}), in + "/" + tooLong +
                                  ": its path below the working folder is 248 bytes; even below the shortest "
                                  "working folder, C:\\~EXB0000\\, that is more than the launcher's 259");
}

TEST_F(Cli, RefusesFilesAndPackagesOf2GiB)
{
    WriteFile(in + "/small.txt", "x");
    WriteFile(in + "/big.bin", "");
    fs::resize_file(in + "/big.bin", 2147483648ULL);  // sparse
    ExpectRefused(Create({}), in + "/big.bin: the file is 2147483648 bytes; the launcher stores files below 2 GiB only");

    fs::resize_file(in + "/big.bin", 1073741824ULL);
    WriteFile(in + "/big2.bin", "");
    fs::resize_file(in + "/big2.bin", 1073741824ULL);
    int64_t length = fs::file_size(stub) + (12 + 7 + 1073741824LL) + (12 + 8 + 1073741824LL);
    // Sorted: big.bin, big2.bin, small.txt; the limit is passed at big2.bin.
    ExpectRefused(Create({}), in + "/big2.bin: with this file the package would pass 2 GiB (" +
                                  std::to_string(length) + " bytes)");
}

TEST_F(Cli, RefusesAnEmptyFolderAndWhatIsNoFile)
{
    ExpectRefused(Create({}), in + ": no files to pack");
    fs::create_directories(in + "/only/folders");
    ExpectRefused(Create({}), in + ": no files to pack");
    ExpectRefused(Create({}, tmp / "missing"), tmp / "missing" + ": not a directory");
    WriteFile(in + "/a.txt", "x");
    // The message names the package asked for, not the temporary beside it.
    std::string lost = tmp / "no/such/x.exe";
    ExpectRefused(RunCli({"create", "-o", lost, "--stub", stub, in}), lost + ": No such file or directory");
    ASSERT_EQ(mkfifo((in + "/pipe").c_str(), 0600), 0);
    ExpectRefused(Create({}), in + "/pipe: not a regular file or directory");
    fs::remove(in + "/pipe");
    WriteFile(in + "/A.TXT", "y");
    ExpectRefused(Create({}),
                  in + "/A.TXT and " + in + "/a.txt: the names differ only in case, and Windows would write one over the other");
    // Beyond ASCII too: É and é in code page 1252, full-width Ａ and ａ in 932.
    fs::remove(in + "/A.TXT");
    WriteFile(in + "/\xC3\xA9.txt", "e");
    WriteFile(in + "/\xC3\x89.txt", "E");
    ExpectRefused(Create({}), in + "/\xC3\x89.txt and " + in +
                                  "/\xC3\xA9.txt: the names differ only in case, and Windows would write one over the other");
    fs::remove(in + "/\xC3\xA9.txt");
    fs::remove(in + "/\xC3\x89.txt");
    WriteFile(in + "/\xEF\xBD\x81", "a");
    WriteFile(in + "/\xEF\xBC\xA1", "A");
    ExpectRefused(Create({"--codepage", "932"}),
                  in + "/\xEF\xBC\xA1 and " + in +
                      "/\xEF\xBD\x81: the names differ only in case, and Windows would write one over the other");
    fs::remove(in + "/\xEF\xBD\x81");
    fs::remove(in + "/\xEF\xBC\xA1");
    // At every level: a file beside a folder of its name in other case.
    fs::remove(in + "/A.TXT");
    WriteFile(in + "/Sub/deep/x", "x");
    WriteFile(in + "/sub/DEEP", "y");
    ExpectRefused(Create({}), in + "/sub/DEEP and " + in + "/Sub/deep: a file and a folder whose names differ only "
                                                           "in case, which Windows cannot hold side by side");
    // Folders that differ only in case merge, as they do on Windows.
    fs::remove(in + "/sub/DEEP");
    EXPECT_EQ(Create({}).exitCode, 0);
    fs::remove_all(tmp / "out");
    fs::create_directories(tmp / "out");
    // An 8.3 name with a '~' beside the long name it may stand for: Wine's
    // short name of LONGFILENAME.TXT is LONG~LMQ.TXT, Windows' LONGFI~1.TXT.
    for (const std::string &alias : {"LONG~LMQ.TXT", "sub/deep/longfi~1.txt"}) {
        std::string folder = alias.find('/') == std::string::npos ? in : in + "/sub/deep";
        WriteFile(folder + "/LongFileName.txt", "long");
        WriteFile(in + "/" + alias, "short");
        ExpectRefused(Create({}), (alias[0] == 'L' ? in + "/" + alias + " and " + folder + "/LongFileName.txt"
                                                   : folder + "/LongFileName.txt and " + in + "/" + alias) +
                                      ": one name is of the form of a short (8.3) name that Windows may give the "
                                      "other, and Windows would write one over the other");
        fs::remove(in + "/" + alias);
    }
    // Another extension, or a name that is 8.3 itself, is no such pair.
    WriteFile(in + "/LONG~1.DOC", "x");
    WriteFile(in + "/LONGFI~1.TXT", "x");
    WriteFile(in + "/LONGFILE.TXT", "x");
    fs::remove(in + "/LongFileName.txt");
    fs::remove(in + "/sub/deep/LongFileName.txt");
    Result taken = Create({});
    EXPECT_EQ(taken.exitCode, 0) << taken.err;
}

// A link is refused with where it points and the option that follows it;
// followed, files and folders are stored as what they point to, and a link
// that points nowhere or leads round in a loop is refused.
TEST_F(Cli, SymbolicLinksAreRefusedOrFollowed)
{
    std::string outside = tmp / "outside";
    WriteFile(outside + "/lib/real.so", "library");
    WriteFile(in + "/a.txt", "x");
    WriteFile(in + "/sub/b.txt", "b");
    fs::create_symlink("../outside/lib/real.so", in + "/lib.so");
    ExpectRefused(Create({}), in + "/lib.so: a symbolic link to ../outside/lib/real.so; --follow-links stores what "
                                   "it points to");

    const struct {
        std::string link, target, why;
    } broken[] = {
        {"/sub/gone", "nowhere", "a symbolic link to nowhere, which does not exist"},
        {"/self", "self", "a symbolic link to self, which leads round in a loop of links"},
        {"/sub/up", "..", "a symbolic link to .., which leads back into " + in + ", a loop"},
    };
    for (const auto &bad : broken) {
        fs::create_symlink(bad.target, in + bad.link);
        ExpectRefused(Create({"--follow-links"}), in + bad.link + ": " + bad.why);
        fs::remove(in + bad.link);
    }

    fs::create_directory_symlink(outside + "/lib", in + "/sub/libdir");
    Result result = Create({"--follow-links"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    Bytes file = ReadFile(out);
    sfxpack::ParsedPackage parsed = Parse(file);
    const char *names[] = {"a.txt", "lib.so", "sub\\b.txt", "sub\\libdir\\real.so"};
    const char *contents[] = {"x", "library", "b", "library"};
    ASSERT_EQ(parsed.entries.size(), 4u);
    for (int i = 0; i < 4; i++) {
        const sfxpack::ParsedEntry &entry = parsed.entries[i];
        EXPECT_EQ(entry.name, names[i]);
        EXPECT_EQ(std::string(file.begin() + entry.dataOffset, file.begin() + entry.dataOffset + entry.size),
                  contents[i]);
    }

    // Links that lead to the same folders over and over without a loop:
    // d0/{a,b} -> ../d1, ..., d29/{a,b} -> ../d30, 2^30 paths to one file of
    // 512 MiB. The walk stops as soon as the package would pass 2 GiB, at
    // the fourth path it finds, whichever that is.
    std::string chain = tmp / "chain";
    for (int i = 0; i < 30; i++) {
        fs::create_directories(chain + "/d" + std::to_string(i));
        for (const char *name : {"/a", "/b"})
            fs::create_directory_symlink("../d" + std::to_string(i + 1), chain + "/d" + std::to_string(i) + name);
    }
    WriteFile(chain + "/d30/big.bin", "");
    fs::resize_file(chain + "/d30/big.bin", 512 << 20);
    fs::remove(out);
    result = RunCli({"30", SFXPACK_TEST_CLI, "create", "-o", out, "--stub", stub, "--follow-links", chain + "/d0"}, {},
                    "/usr/bin/timeout");
    int64_t length = fs::file_size(stub) + 4 * (12 + 30 * 2 + 7 + (int64_t(512) << 20));
    std::string ending = "/big.bin: with this file the package would pass 2 GiB (" + std::to_string(length) + " bytes)\n";
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind("sfxpack: " + chain + "/d0/", 0), 0u) << result.err;
    EXPECT_TRUE(result.err.size() > ending.size() &&
                result.err.compare(result.err.size() - ending.size(), ending.size(), ending) == 0)
        << result.err;
    EXPECT_TRUE(fs::is_empty(tmp / "out"));

    // The same without a file: 41 folders, 2^40 paths through them and no
    // byte to count. The walk stops at its 100,000th folder, in seconds.
    fs::remove(chain + "/d30/big.bin");
    for (int i = 30; i < 40; i++) {
        fs::create_directories(chain + "/d" + std::to_string(i));
        for (const char *name : {"/a", "/b"})
            fs::create_directory_symlink("../d" + std::to_string(i + 1), chain + "/d" + std::to_string(i) + name);
    }
    fs::create_directories(chain + "/d40");
    result = RunCli({"30", SFXPACK_TEST_CLI, "create", "-o", out, "--stub", stub, "--follow-links", chain + "/d0"}, {},
                    "/usr/bin/timeout");
    ending = ": more than 100000 folders walked through; links followed may lead to the same folders again and "
             "again\n";
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind("sfxpack: " + chain + "/d0/", 0), 0u) << result.err;
    EXPECT_TRUE(result.err.size() > ending.size() &&
                result.err.compare(result.err.size() - ending.size(), ending.size(), ending) == 0)
        << result.err;
    EXPECT_TRUE(fs::is_empty(tmp / "out"));
}

// Empty files are all named in one refusal, or left out with a warning each.
TEST_F(Cli, EmptyFilesAreNamedTogetherOrSkippedWithAWarningEach)
{
    WriteFile(in + "/a.txt", "x");
    WriteFile(in + "/.gitkeep", "");
    WriteFile(in + "/pkg/__init__.py", "");
    WriteFile(in + "/z/.gitkeep", "");
    ExpectRefused(Create({}), in + "/.gitkeep, " + in + "/pkg/__init__.py and " + in +
                                  "/z/.gitkeep: the files are empty; the launcher cannot store a file of 0 bytes "
                                  "(--skip-empty leaves them out)");

    Result result = Create({"--skip-empty"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "sfxpack: warning: " + in + "/.gitkeep: the file is empty; left out (--skip-empty)\n" +
                              "sfxpack: warning: " + in + "/pkg/__init__.py: the file is empty; left out (--skip-empty)\n" +
                              "sfxpack: warning: " + in + "/z/.gitkeep: the file is empty; left out (--skip-empty)\n");
    sfxpack::ParsedPackage parsed = Parse(ReadFile(out));
    ASSERT_EQ(parsed.entries.size(), 1u);
    EXPECT_EQ(parsed.entries[0].name, "a.txt");
}

TEST_F(Cli, RefusesStubsWithoutAnEmpty404BytePlaceholder)
{
    WriteFile(in + "/a.txt", "x");
    std::string text = tmp / "text.exe";
    WriteFile(text, "not a program");
    stub = text;
    ExpectRefused(Create({}), text + ": no header placeholder (resource MYRESOURCE of type 1024): not a Windows "
                                     "executable (no MZ header)");

    Bytes real = Stub();
    sfxpack::Package package;
    package.entries.push_back({"a.txt", {'x'}, 0x21, {}, {}});
    std::string error;
    const struct {
        std::optional<uint32_t> size;
        bool hide;
        std::string why;
    } cases[] = {
        {422, false, "the header placeholder is 422 bytes, not 404"},
        {300, false, "the header placeholder is 300 bytes, not 404"},
        {std::nullopt, true, "no header placeholder (resource MYRESOURCE of type 1024): no resource named MYRESOURCE of "
                             "type 1024"},
        {std::nullopt, false, "the header placeholder is not empty; this is a package, not a launcher"},
    };
    for (const auto &bad : cases) {
        package.resourceSize = bad.size;
        package.hideResource = bad.hide;
        Bytes made;
        ASSERT_TRUE(sfxpack::BuildPackage(real, package, &made, &error)) << error;
        stub = tmp / "made.exe";
        WriteBytes(stub, made);
        ExpectRefused(Create({}), stub + ": " + bad.why);
    }
}

// An icon file's header and the entries for images of `sizes` bytes, stored
// one after the other from the end of the entries on.
std::string IconHeader(const std::vector<uint32_t> &sizes)
{
    std::string ico{0, 0, 1, 0, char(sizes.size()), 0};
    uint32_t offset = 6 + 16 * uint32_t(sizes.size());
    for (uint32_t size : sizes) {
        ico += std::string{16, 16, 0, 0, 1, 0, 32, 0};
        for (uint32_t value : {size, offset})
            for (int i = 0; i < 4; i++)
                ico += char(value >> 8 * i);
        offset += size;
    }
    return ico;
}

TEST_F(Cli, RefusesIconsVersionsAndManifestsThatCannotBeStored)
{
    WriteFile(in + "/a.txt", "x");
    // A bitmap of 1 x 1 pixel at 1 bit: header, two colours, a row of
    // colour and a row of mask; and one with a header of other values.
    auto Bitmap = [](int32_t width, int32_t height, uint16_t bits, size_t size) {
        std::string header(40, '\0');
        for (int i = 0; i < 4; i++) {
            header[i] = char(40 >> 8 * i);
            header[4 + i] = char(uint32_t(width) >> 8 * i);
            header[8 + i] = char(uint32_t(height) >> 8 * i);
        }
        header[12] = 1;
        header[14] = char(bits);
        header.resize(std::max<size_t>(size, 40), '\0');
        return header.substr(0, size);
    };
    std::string bitmap = Bitmap(1, 2, 1, 56);
    std::string png300("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x01\x2C\0\0\x01\x2C\x08\x06\0\0\0", 29);
    const struct {
        const char *file;
        std::string content;
        const char *why;
    } icons[] = {
        {"text.ico", "not an icon", "not an icon (.ico) or PNG file"},
        {"empty.ico", IconHeader({}), "holds no image"},
        {"list.ico", IconHeader({40, 40}).substr(0, 30), "cut short: the list of 2 images ends past the file's 30 bytes"},
        {"image.ico", IconHeader({56, 56}) + bitmap + bitmap.substr(0, 10), "cut short: image 2 of 2 ends at byte 150 of 104"},
        {"other.ico", IconHeader({40}) + std::string(40, 'x'), "image 1 of 1: neither a PNG nor a bitmap"},
        // Every image is checked as a PNG file alone is, and a bitmap's
        // header against its bytes.
        {"png.ico", IconHeader({56, 29}) + bitmap + png300,
         "image 2 of 2: a PNG of 300 x 300 pixels; an icon image is at most 256 x 256"},
        {"wide.ico", IconHeader({64}) + Bitmap(100000, 2, 1, 64),
         "image 1 of 1: a bitmap of 100000 x 1 pixels; an icon image is at most 256 x 256"},
        {"negative.ico", IconHeader({56}) + Bitmap(-1, 2, 1, 56),
         "image 1 of 1: a bitmap of -1 x 1 pixels; an icon image is at most 256 x 256"},
        {"depth.ico", IconHeader({56}) + Bitmap(1, 2, 0, 56), "image 1 of 1: a bitmap of 0 bits per pixel"},
        {"short.ico", IconHeader({40 + 4 * 32 * 32}) + Bitmap(32, 64, 32, 40 + 4 * 32 * 32),
         "image 1 of 1: a bitmap of 32 x 32 pixels at 32 bits needs 4264 bytes, and the image has 4136"},
        {"big.png", std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x02\0\0\0\x02\0\x08\x06\0\0\0", 29),
         "a PNG of 512 x 512 pixels; an icon image is at most 256 x 256"},
    };
    for (const auto &icon : icons) {
        WriteFile(tmp / icon.file, icon.content);
        ExpectRefused(Create({"--icon", tmp / icon.file}), tmp / icon.file + ": " + icon.why);
    }
    // A value that cannot be right is a usage error, as an unknown option is.
    for (const auto &[option, value, why] : std::vector<std::array<std::string, 3>>{
             {"--file-version", "1.2.65536", "'1.2.65536': a number is above 65535"},
             {"--product-version", "1.x", "'1.x' is not a version: 1 to 4 numbers from 0 to 65535, separated by dots"},
             {"--execution-level", "admin",
              "'admin' is not an execution level: asInvoker, highestAvailable or requireAdministrator"}}) {
        Result usage = Create({option, value});
        EXPECT_EQ(usage.exitCode, 2);
        EXPECT_EQ(usage.err, "sfxpack: " + option + ": " + why + " (see 'sfxpack create --help')\n");
    }
    Result joined = Create({"--file-version=2.5", "--codepage=932", "--title=T"});
    EXPECT_EQ(joined.exitCode, 0) << joined.err;
    std::string listing = Listing({"--codepage=932"});
    EXPECT_NE(listing.find("productTitle: T\nsourcePrefix: \n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("fileVersion: 2.5.0.0\n"), std::string::npos) << listing;
    fs::remove(out);
    // An empty value would silently mean no such resource.
    for (const std::string option : {"--icon", "--manifest", "--file-version", "--product-version",
                                     "--execution-level", "--stub", "-o"}) {
        Result usage = Create({option, ""});
        EXPECT_EQ(usage.exitCode, 2) << option;
        EXPECT_EQ(usage.err, "sfxpack: " + option + ": the value is empty (see 'sfxpack create --help')\n");
    }
    ExpectRefused(Create({"--version-string", "Sub\\Key=v"}),
                  "version string 'Sub\\Key=v': the key holds '\\', which VerQueryValue reads as a separator");
    ExpectRefused(Create({"--version-string", "Comments=a", "--version-string", "comments=b"}),
                  "--version-string: comments is given twice");
    WriteFile(tmp / "manifest.xml", "<?xml version=\"1.0\"?>\n<assembly>\n<trustInfo>\n</assembly>\n");
    ExpectRefused(Create({"--manifest", tmp / "manifest.xml"}), tmp / "manifest.xml: line 4: end tag </assembly> does not match <trustInfo>");
    Result both = Create({"--manifest", tmp / "manifest.xml", "--execution-level", "asInvoker"});
    EXPECT_EQ(both.exitCode, 2);
    EXPECT_EQ(both.err, "sfxpack: --manifest and --execution-level exclude each other (see 'sfxpack create --help')\n");

    // A signed launcher: the payload appended, and any rebuilt resources,
    // would break its signature.
    std::string key = tmp / "key.pem", cert = tmp / "cert.pem", original = stub;
    stub = tmp / "signed.exe";
    ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=T -keyout '" + key + "' -out '" +
                           cert + "' >/dev/null 2>&1 && osslsigncode sign -certs '" + cert + "' -key '" + key +
                           "' -in '" + original + "' -out '" + stub + "' >/dev/null")
                              .c_str()),
              0);
    for (const std::vector<std::string> &options : {std::vector<std::string>{"--execution-level", "asInvoker"},
                                                     std::vector<std::string>{}})
        ExpectRefused(Create(options), stub + ": the executable is signed; sign the package once it is made instead");
}

TEST_F(Cli, AFailedRunKeepsAnExistingOutputUntouched)
{
    WriteFile(out, "previous package");
    WriteFile(in + "/empty.txt", "");
    Result result = Create({});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(ReadText(out), "previous package");
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp / "out"), fs::directory_iterator()), 1);

    // A rename that fails (OUT is a folder) removes the temporary.
    fs::remove(out);
    fs::create_directories(out + "/inside");
    WriteFile(in + "/empty.txt", "x");
    result = Create({});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind("sfxpack: " + out + ": ", 0), 0u) << result.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp / "out"), fs::directory_iterator()), 1);

    // A write that fails partway, with more data queued behind it, is
    // reported and removes the temporary: a 3 MiB file size limit in the
    // child against 8 MiB of data.
    fs::remove_all(out);
    WriteFile(out, "previous package");
    WriteFile(in + "/big.bin", Pattern(8 << 20));
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = 3 << 20;
    auto savedSignal = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    result = Create({});
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, savedSignal);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "sfxpack: " + out + ": File too large\n");
    EXPECT_EQ(ReadText(out), "previous package");
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp / "out"), fs::directory_iterator()), 1);

    // Stopped by a signal while it writes, the run removes its temporary
    // and ends by that signal. The sparse gigabyte keeps it busy meanwhile.
    fs::resize_file(in + "/big.bin", 1 << 30);
    for (int stop : {SIGINT, SIGTERM, SIGHUP}) {
        pid_t child = fork();
        if (child == 0) {
            for (int each : {SIGINT, SIGTERM, SIGHUP})
                signal(each, SIG_DFL);
            execl(SFXPACK_TEST_CLI, SFXPACK_TEST_CLI, "create", "-o", out.c_str(), "--stub", stub.c_str(),
                  in.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        std::string temporary = out + ".tmp" + std::to_string(child);
        auto written = [&temporary] {
            std::error_code missing;
            uintmax_t size = fs::file_size(temporary, missing);
            return !missing && size > 0;
        };
        for (int i = 0; i < 10000 && !written(); i++)
            usleep(1000);
        EXPECT_TRUE(written()) << temporary;
        kill(child, stop);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == stop) << stop << ": " << status;
        EXPECT_EQ(ReadText(out), "previous package");
        EXPECT_EQ(std::distance(fs::directory_iterator(tmp / "out"), fs::directory_iterator()), 1) << stop;
    }
}

TEST_F(Cli, TheDefaultStubIsTheLauncherBesideSfxpack)
{
    WriteFile(in + "/a.txt", "x");
    std::string copy = tmp / "bin/sfxpack";
    fs::create_directories(tmp / "bin");
    fs::copy_file(SFXPACK_TEST_CLI, copy);
    Result result = RunCli({"create", "-o", out, in}, {}, copy);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "sfxpack: no launcher at " + tmp / "bin/launcher.exe" + " or " +
                              tmp / "share/sfxpack/launcher.exe" + "; give the launcher with --stub LAUNCHER.exe\n");

    fs::copy_file(stub, tmp / "bin/launcher.exe");
    result = RunCli({"create", "-o", out, in}, {}, copy);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Parse(ReadFile(out)).header.payloadOffset, int32_t(fs::file_size(stub)));
}

// make install's layout under a staging folder, and the installed sfxpack and
// the build tree's both packing the shipped launcher without --stub.
TEST_F(Cli, InstalledAndBuildTreeSfxpackFindTheShippedLauncher)
{
    const char *launcher = std::getenv("SFX_SHIPPED_LAUNCHER");
    if (!launcher || !fs::exists(launcher))
        GTEST_SKIP() << "the launcher is not built";
    Result result = RunCli({"--install", std::getenv("SFX_NATIVE_BUILD_DIR"), "--prefix", "/opt/sfx"},
                           {"DESTDIR=" + tmp / "root"}, std::getenv("CMAKE_COMMAND"));
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    std::vector<std::string> installed;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(tmp / "root"))
        if (!entry.is_directory())
            installed.push_back(entry.path().lexically_relative(tmp / "root").string());
    std::sort(installed.begin(), installed.end());
    std::vector<std::string> expected = {"opt/sfx/bin/sfxpack", "opt/sfx/share/doc/sfxpack/copyright",
                                         "opt/sfx/share/man/man1/sfxpack.1.gz", "opt/sfx/share/sfxpack/launcher.exe"};
    for (const fs::directory_entry &entry : fs::directory_iterator(std::string(std::getenv("SFX_SOURCE_DIR")) + "/translations"))
        expected.push_back("opt/sfx/share/sfxpack/translations/" + entry.path().filename().string());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(installed, expected);
    EXPECT_EQ(ReadFile(tmp / "root/opt/sfx/share/sfxpack/launcher.exe"), ReadFile(launcher));

    std::string installedCli = tmp / "root/opt/sfx/bin/sfxpack", version = std::getenv("SFX_VERSION");
    result = RunCli({"--version"}, {}, installedCli);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "sfxpack " + version + "\n");
    std::string manual = RunCli({"-dc", tmp / "root/opt/sfx/share/man/man1/sfxpack.1.gz"}, {}, "/usr/bin/gzip").out;
    EXPECT_EQ(manual.substr(0, manual.find('\n') + 1), ".TH SFXPACK 1 \"\" \"sfxpack " + version + "\" \"User Commands\"\n");

    WriteFile(in + "/a.txt", "hello");
    SetTime(in + "/a.txt", 1614834367);
    result = RunCli({"create", "-o", out, in}, {"TZ=UTC0"}, installedCli);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    result = RunCli({"list", out}, {}, installedCli);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("\npayloadOffset: " + std::to_string(fs::file_size(launcher)) + "\n"), std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.substr(result.out.find("entry:")), "entry: 5 2021-03-04 05:06:06 a.txt\n");

    std::string fromBuildTree = tmp / "out/build-tree.exe";
    result = RunCli({"create", "-o", fromBuildTree, in}, {"TZ=UTC0"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(fromBuildTree), ReadFile(out));

    // Shipped translations by name, from either place.
    result = RunCli({"create", "-o", out, "--language", "de", "--language", "ja", in}, {"TZ=UTC0"}, installedCli);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    result = RunCli({"create", "-o", fromBuildTree, "--language", "de", "--language", "ja", in}, {"TZ=UTC0"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(fromBuildTree), ReadFile(out));
    EXPECT_NE(RunCli({"list", out}).out.find("\nlanguages: en_US de ja\n"), std::string::npos);
}

TEST_F(Cli, ListReportsAMalformedPackageWithEntryFieldAndOffset)
{
    WriteFile(in + "/a.txt", "hello");
    WriteFile(in + "/b.txt", "world!");
    SetTime(in + "/a.txt", 1614834367);
    ASSERT_EQ(Create({"--no-integrity"}).exitCode, 0);
    size_t length = fs::file_size(out), second = length - (12 + 5 + 6);
    fs::resize_file(out, length - 1);
    Result result = RunCli({"list", out});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "sfxpack: " + out + ": entry 2 of 2: data at offset " + std::to_string(second + 12 + 5) +
                              ": the file ends after 5 of 6 bytes\n");
    EXPECT_NE(result.out.find("fileLength: " + std::to_string(length - 1) + "\n"), std::string::npos);
    EXPECT_EQ(result.out.substr(result.out.find("entry:")), "entry: 5 2021-03-04 05:06:06 a.txt\n");

    std::string text = tmp / "text.exe";
    WriteFile(text, "MZ");
    result = RunCli({"list", text});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "sfxpack: " + text + ": no header resource (MYRESOURCE of type 1024): not a Windows "
                                               "executable (no MZ header)\n");
    result = RunCli({"list", tmp / "missing.exe"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "sfxpack: " + tmp / "missing.exe" + ": No such file or directory\n");
}

TEST_F(Cli, ListKeepsEveryNameOnOneLineAndShowsTheIntegrityRecord)
{
    // Names that `create` refuses but a crafted package can hold.
    sfxpack::Package package;
    package.productTitle = "two\nlines";
    package.integrityRecord = true;
    const char *names[] = {"new\nline.txt", "esc\x1B[31m\x7F.txt", "drivers\\x86\\a.sys", "b\\x.txt", "tab\\\x09x41"};
    for (const char *name : names)
        package.entries.push_back({name, {'x'}, 0x21, {}, {}});
    Bytes made;
    std::string error;
    ASSERT_TRUE(sfxpack::BuildPackage(Stub(), package, &made, &error)) << error;
    WriteBytes(out, made);
    std::string listing = Listing();
    EXPECT_NE(listing.find("\nreserved: 1230521939\nintegrity: yes\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("\nproductTitle: two\\x0Alines\n"), std::string::npos) << listing;
    // \x and two hex digits is always an escape; every other backslash is itself.
    EXPECT_EQ(listing.substr(listing.find("entry:")),
              "entry: 1 1980-01-01 00:00:00 new\\x0Aline.txt\n"
              "entry: 1 1980-01-01 00:00:00 esc\\x1B[31m\\x7F.txt\n"
              "entry: 1 1980-01-01 00:00:00 drivers\\x5Cx86\\a.sys\n"
              "entry: 1 1980-01-01 00:00:00 b\\x.txt\n"
              "entry: 1 1980-01-01 00:00:00 tab\\\\x09x41\n");
}

TEST_F(Cli, VerifyNamesTheFirstDamagedEntryHeaderOrRecord)
{
    WriteFile(in + "/a.txt", "hello");
    WriteFile(in + "/sub/b.bin", Pattern(300000));
    WriteFile(in + "/z.txt", "last");
    ASSERT_EQ(Create({"--title", "T"}).exitCode, 0);
    Result result = RunCli({"verify", out});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, out + ": intact; integrity record: present, 3 entries checked\n");
    EXPECT_EQ(result.err, "");

    Bytes good = ReadFile(out);
    sfxpack::ParsedPackage parsed = Parse(good);
    ASSERT_EQ(parsed.entries.size(), 3u);
    size_t record = parsed.header.packageLength, header = parsed.resource.fileOffset;
    auto Stored = [&](int i) {
        char text[16];
        size_t at = record + 20 + 4 * i;
        std::snprintf(text, sizeof text, "0x%08X", good[at] | good[at + 1] << 8 | good[at + 2] << 16 | unsigned(good[at + 3]) << 24);
        return std::string(text);
    };
    const sfxpack::ParsedEntry &b = parsed.entries[1], &z = parsed.entries[2];
    std::string damaged = tmp / "damaged.exe";
    const struct {
        size_t at;
        std::string message;  // up to the computed CRC, or whole
        std::string ending;
    } cases[] = {
        {b.dataOffset + 299999, "entry 2 of 3: sub\\b.bin: its 300021 bytes at offset " + std::to_string(b.offset) +
                                    " give CRC-32 0x", ", but the integrity record holds " + Stored(1) + "\n"},
        {z.offset + 4, "entry 3 of 3: ", "its 21 bytes at offset " + std::to_string(z.offset) + " give CRC-32 0x"},
        {z.dataOffset - 8, "entry 3 of 3: z.txt: its 21 bytes at offset " + std::to_string(z.offset) +
                               " give CRC-32 0x", ", but the integrity record holds " + Stored(2) + "\n"},
        {header + 200, "header at offset " + std::to_string(header) + ": its CRC-32 is 0x", ""},
        {record + 30, "integrity record at offset " + std::to_string(record) + ": its own CRC-32 is 0x", ""},
        {record + 1, "integrity record at offset " + std::to_string(record) + ": no signature SFXCRC32\n", ""},
    };
    for (const auto &bad : cases) {
        Bytes bytes = good;
        bytes[bad.at] ^= 0x10;
        WriteBytes(damaged, bytes);
        result = RunCli({"verify", damaged});
        EXPECT_EQ(result.exitCode, 1) << bad.at;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("sfxpack: " + damaged + ": " + bad.message, 0), 0u) << result.err;
        EXPECT_NE(result.err.find(bad.ending), std::string::npos) << result.err;
    }
    fs::resize_file(damaged, record + 5);
    result = RunCli({"verify", damaged});
    EXPECT_EQ(result.err, "sfxpack: " + damaged + ": integrity record at offset " + std::to_string(record) +
                              ": the file ends after 5 of 36 bytes\n");

    // The mark cleared: the record, still found by its signature, fails the
    // header as the launcher's check does.
    Bytes unmarked = good;
    std::fill_n(&unmarked[header + offsetof(PackageHeader, reserved)], 4, 0);
    WriteBytes(damaged, unmarked);
    result = RunCli({"verify", damaged});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind("sfxpack: " + damaged + ": header at offset " + std::to_string(header) +
                                   ": its CRC-32 is 0x",
                               0),
              0u)
        << result.err;

    fs::remove(out);
    ASSERT_EQ(Create({"--no-integrity"}).exitCode, 0);
    result = RunCli({"verify", out});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, out + ": 3 entries read whole; no integrity record, so their bytes are not checked\n");

    // The exit-code mark, with the record and without: `list` shows both
    // marks, and `verify` takes either package.
    const std::pair<std::vector<std::string>, std::string> marked[] = {
        {{"--exit-codes"}, "reserved: 1113081427\nintegrity: yes\nexitCodes: yes\n"},
        {{"--exit-codes", "--no-integrity"}, "reserved: 1163413075\nintegrity: no\nexitCodes: yes\n"}};
    for (const auto &[options, lines] : marked) {
        fs::remove(out);
        ASSERT_EQ(Create(options).exitCode, 0);
        EXPECT_EQ(RunCli({"verify", out}).exitCode, 0) << lines;
        EXPECT_NE(Listing().find(lines), std::string::npos) << lines;
    }
}

// Every regular file below `root` by relative path: contents and time.
std::map<std::string, std::pair<std::string, int64_t>> Tree(const std::string &root)
{
    std::map<std::string, std::pair<std::string, int64_t>> tree;
    for (const auto &item : fs::recursive_directory_iterator(root)) {
        struct stat info;
        EXPECT_EQ(lstat(item.path().c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) << item.path();
        if (S_ISREG(info.st_mode))
            tree[fs::relative(item.path(), root)] = {ReadText(item.path()), int64_t(info.st_mtime)};
    }
    return tree;
}

TEST_F(Cli, ExtractGivesBackTheFolderWithItsTimesAndWritesNothingOutsideDir)
{
    const int64_t times[] = {1614834367, 951868799, 1262304001, 1700000000};
    const std::string names[] = {"a.txt", "sub/b.bin", "sub/deeper/c d.txt", "\xE8\xA1\xA8/x.txt"};
    const size_t sizes[] = {1, 8192, 300001, 8193};
    for (int i = 0; i < 4; i++) {
        WriteFile(in + "/" + names[i], Pattern(sizes[i]));
        SetTime(in + "/" + names[i], times[i]);
    }
    std::string dir = tmp / "x";
    ASSERT_EQ(RunCli({"create", "-o", out, "--stub", stub, "--codepage", "932", "--source-prefix", "C:\\src", in},
                     {"TZ=JST-9"})
                  .exitCode,
              0);
    Result result = RunCli({"extract", out, dir, "--codepage", "932"}, {"TZ=JST-9"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, dir + ": 4 files extracted; integrity record: present, 4 entries checked\n");
    auto expected = Tree(in);
    for (auto &[name, file] : expected)
        file.second &= ~int64_t(1);  // two-second steps
    EXPECT_EQ(Tree(dir), expected);

    // A folder that is not empty only with --force; links in it are never
    // followed: a link where a folder goes is refused, a link where a file
    // goes is replaced, and what they point at stays untouched.
    result = RunCli({"extract", out, dir});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "sfxpack: " + out + ": " + dir + ": the folder is not empty; --force extracts into it all the same\n");
    std::string outside = tmp / "outside";
    WriteFile(outside + "/b.bin", "keep");
    fs::remove(dir + "/a.txt");
    fs::create_symlink(outside + "/b.bin", dir + "/a.txt");
    ASSERT_EQ(RunCli({"extract", out, dir, "--force", "--codepage", "932"}).exitCode, 0);
    EXPECT_FALSE(fs::is_symlink(dir + "/a.txt"));
    fs::remove_all(dir + "/sub");
    fs::create_directory_symlink(outside, dir + "/sub");
    result = RunCli({"extract", out, dir, "--force", "--codepage", "932"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "sfxpack: " + out + ": entry 2 of 4: C:\\src\\sub\\b.bin: " + dir +
                              "/sub: not a folder (a link or a file is in the way)\n");
    EXPECT_EQ(ReadText(outside + "/b.bin"), "keep");

    // Crafted names that could lead out of DIR or that Windows refuses, and
    // a damaged entry, which leaves no file behind.
    const struct {
        std::string name;
        std::string why;
    } crafted[] = {
        {"..\\evil.txt", "refused: it has a '..' component"},
        {"a\\. .\\evil.txt", "refused: it has a '..' component"},
        {"\\evil.txt", "refused: it starts with a separator"},
        {"C:\\evil.txt", "refused: it holds ':', a drive or an alternate data stream"},
        {"a/../../evil.txt", "refused: it holds '/', which Windows takes for a separator"},
        {"sub\\Nul.txt", "refused: it names a device"},
        {"new\nline.txt", "refused: it holds a control character"},
        {"sub\\what?.txt", "refused: it holds '?', which Windows does not allow in file names"},
        {"sub\\", "refused: it has no file name"},
        {std::string(240, 'd') + "\\long.txt", "refused: its path below the working folder is 249 bytes; even below "
                                               "the shortest working folder, C:\\~EXB0000\\, that is more than the "
                                               "launcher's 259"},
    };
    for (const auto &bad : crafted) {
        sfxpack::Package package;
        package.integrityRecord = true;
        package.entries.push_back({"fine.txt", {'x'}, 0x21, {}, {}});
        package.entries.push_back({bad.name, {'x'}, 0x21, {}, {}});
        Bytes made;
        std::string error;
        ASSERT_TRUE(sfxpack::BuildPackage(Stub(), package, &made, &error)) << error;
        WriteBytes(out, made);
        fs::remove_all(dir);
        result = RunCli({"extract", out, dir});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "sfxpack: " + out + ": entry 2 of 2: " + sfxpack::EscapeForLine(bad.name) + ": " +
                                  bad.why + "\n");
        EXPECT_EQ(fs::directory_iterator(dir)->path(), dir + "/fine.txt");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 4);  // in, out, outside, x

    Bytes damaged = ReadFile(out);
    sfxpack::ParsedPackage parsed = Parse(damaged);
    damaged[parsed.entries[0].dataOffset] ^= 1;
    WriteBytes(out, damaged);
    fs::remove_all(dir);
    result = RunCli({"extract", out, dir});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind("sfxpack: " + out + ": entry 1 of 2: fine.txt: its 21 bytes at offset ", 0), 0u)
        << result.err;
    EXPECT_TRUE(fs::is_empty(dir));
    // With --force, the file already there under that name stays as it was.
    WriteFile(dir + "/fine.txt", "mine");
    result = RunCli({"extract", out, dir, "--force"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(ReadText(dir + "/fine.txt"), "mine");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // Names that Windows makes one file of: the launcher writes the second
    // over the first, so verify takes the package with a warning; extract
    // refuses it, as create does. A file and a folder of one name fail the
    // launcher: both refuse.
    const struct {
        std::string second, warning;
    } clashes[] = {
        {"\x9F.TXT", "entry 2 of 2: \xC5\xB8.TXT: Windows takes it for entry 1 of 2: \xC3\xBF.txt, and writes one "
                     "over the other"},
        {"LONG~LMQ.TXT", "entry 2 of 2: LONG~LMQ.TXT: Windows may take it, by a short (8.3) name, for entry 1 of 2: "
                         "\xC3\xBF.txt, and write one over the other"},
        {"\x9F.TXT\\x", ""},
    };
    std::string clashing = tmp / "clashing.exe";
    for (const auto &clash : clashes) {
        sfxpack::Package package;
        std::string first = clash.second[0] == 'L' ? "LongFileName.txt" : "\xFF.txt";
        package.entries = {{first, {'x'}, 0x21, {}, {}}, {clash.second, {'y'}, 0x21, {}, {}}};
        Bytes made;
        std::string error;
        ASSERT_TRUE(sfxpack::BuildPackage(Stub(), package, &made, &error)) << error;
        WriteBytes(clashing, made);
        std::string warning = clash.warning;
        if (first[0] == 'L')
            warning.replace(warning.find("\xC3\xBF.txt"), 6, first);
        fs::remove_all(dir);
        Result verified = RunCli({"verify", clashing});
        Result extracted = RunCli({"extract", clashing, dir});
        EXPECT_EQ(extracted.exitCode, 1);
        EXPECT_TRUE(fs::is_directory(dir + "/" + (first[0] == 'L' ? "LongFileName.txt" : "\xC3\xBF.txt")) ||
                    fs::is_regular_file(dir + "/" + (first[0] == 'L' ? "LongFileName.txt" : "\xC3\xBF.txt")));
        if (warning.empty()) {
            EXPECT_EQ(verified.exitCode, 1);
            EXPECT_EQ(verified.err, "sfxpack: " + clashing + ": entry 2 of 2: \xC5\xB8.TXT\\x: the launcher cannot write "
                                    "it: Windows cannot hold a file and a folder of one name side by side (entry 1 of 2: "
                                    "\xC3\xBF.txt)\n");
            continue;
        }
        EXPECT_EQ(verified.exitCode, 0) << verified.err;
        EXPECT_EQ(verified.err, "sfxpack: warning: " + clashing + ": " + warning + "\n");
        EXPECT_EQ(extracted.err, "sfxpack: " + clashing + ": " +
                                     warning.replace(warning.find(": ", 14) + 2, 0, "refused: ") + "\n");
    }
}

// A package cut short while its entry is being written (SIGBUS from the
// mapping), and an extract ended by SIGTERM: the entry's file is not left
// behind half written.
TEST_F(Cli, ExtractCutShortOrEndedLeavesNoPartialFile)
{
    WriteFile(in + "/big.bin", "x");
    ASSERT_EQ(Create({"--no-integrity"}).exitCode, 0);
    // The one entry made 1 GiB long, a hole in a sparse file: reading it
    // costs nothing, writing it takes long enough to be caught.
    Bytes bytes = ReadFile(out);
    sfxpack::ParsedPackage parsed = Parse(bytes);
    const int32_t size = 1 << 30;
    uint64_t end = parsed.entries[0].dataOffset + size;
    auto Put = [&](size_t at, uint32_t value) {
        for (int i = 0; i < 4; i++)
            bytes[at + i] = static_cast<unsigned char>(value >> 8 * i);
    };
    Put(parsed.entries[0].dataOffset - 4, size);
    Put(parsed.resource.fileOffset + offsetof(PackageHeader, packageLength), uint32_t(end));
    Put(parsed.resource.fileOffset + offsetof(PackageHeader, totalBlocks), size / 8192);
    bytes.resize(parsed.entries[0].dataOffset);

    for (bool cut : {true, false}) {
        WriteBytes(out, bytes);
        fs::resize_file(out, end);
        std::string dir = tmp / "x", err = tmp / "err";
        fs::remove_all(dir);
        pid_t child = fork();
        if (child == 0) {
            int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(fd, 2);
            execl(SFXPACK_TEST_CLI, SFXPACK_TEST_CLI, "extract", out.c_str(), dir.c_str(), (char *)nullptr);
            _exit(127);
        }
        // As soon as the entry's file is there.
        bool started = false;
        for (int i = 0; i < 100000 && !started; i++) {
            std::error_code ignored;
            started = fs::exists(dir, ignored) && !fs::is_empty(dir, ignored);
            if (!started)
                usleep(100);
        }
        EXPECT_TRUE(started);
        if (cut)
            fs::resize_file(out, parsed.entries[0].dataOffset + 4096);
        else
            kill(child, SIGTERM);
        int status = 0;
        waitpid(child, &status, 0);
        if (cut) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
            EXPECT_EQ(ReadText(err), "sfxpack: the package became shorter while it was read\n");
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
        }
        EXPECT_TRUE(fs::is_empty(dir)) << fs::directory_iterator(dir)->path();
    }
}

TEST(CliUsage, HelpAndWrongUsage)
{
    // The overview fits a screen; each command's help gives it in full.
    Result result = RunCli({"--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.rfind("Usage: sfxpack COMMAND [OPTIONS]\n", 0), 0u);
    EXPECT_LE(std::count(result.out.begin(), result.out.end(), '\n'), 24);
    EXPECT_EQ(result.err, "");
    result = RunCli({"list", "--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("  entry: SIZE YYYY-MM-DD HH:MM:SS NAME\n"), std::string::npos);
    result = RunCli({"create", "-o", "x.exe", "--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.rfind("Usage: sfxpack create -o OUT.exe", 0), 0u);

    // A usage error is one line: what is wrong and where the help is.
    const struct {
        std::vector<std::string> args;
        std::string problem, help;
    } cases[] = {
        {{}, "a command is missing", "sfxpack --help"},
        {{"pack"}, "unknown command pack", "sfxpack --help"},
        {{"create", "dir"}, "create: -o OUT.exe is missing", "sfxpack create --help"},
        {{"create", "-o", "x.exe"}, "create: DIR is missing", "sfxpack create --help"},
        {{"create", "-o", "x.exe", "--verbose", "dir"}, "unknown option --verbose", "sfxpack create --help"},
        {{"create", "-o", "x.exe", "dir", "--title"}, "--title: a value is missing", "sfxpack create --help"},
        {{"create", "-o", "x.exe", "dir", "other"}, "more than one DIR: dir, other", "sfxpack create --help"},
        {{"list"}, "list: PKG.exe is missing", "sfxpack list --help"},
        {{"list", "p.exe", "--codepage", "cp1252"}, "--codepage: 'cp1252' is not a code page number",
         "sfxpack list --help"},
        {{"verify"}, "verify: PKG.exe is missing", "sfxpack verify --help"},
        {{"verify", "p.exe", "--show-password"}, "unknown option --show-password", "sfxpack verify --help"},
        {{"extract", "p.exe"}, "extract: DIR is missing", "sfxpack extract --help"},
        {{"extract", "p.exe", "d", "e"}, "more than one DIR: d, e", "sfxpack extract --help"},
        {{"extract", "p.exe", "d", "--codepage", "500"}, "--codepage: code page 500" + std::string(NOT_A_LAUNCHER_CODE_PAGE),
         "sfxpack extract --help"},
        {{"verify", "p.exe", "--codepage", "1047"}, "--codepage: code page 1047" + std::string(NOT_A_LAUNCHER_CODE_PAGE),
         "sfxpack verify --help"},
        {{"list", "p.exe", "--codepage", "864"}, "--codepage: code page 864" + std::string(NOT_A_LAUNCHER_CODE_PAGE),
         "sfxpack list --help"},
        // --option=value is --option value, for every option that takes one.
        {{"list", "p.exe", "--codepage=cp1252"}, "--codepage: 'cp1252' is not a code page number",
         "sfxpack list --help"},
        {{"create", "-o", "x.exe", "--file-version=1.x", "dir"},
         "--file-version: '1.x' is not a version: 1 to 4 numbers from 0 to 65535, separated by dots",
         "sfxpack create --help"},
        {{"create", "-o", "x.exe", "--icon=", "dir"}, "--icon: the value is empty", "sfxpack create --help"},
        {{"create", "-o", "x.exe", "--quiet=yes", "dir"}, "unknown option --quiet=yes", "sfxpack create --help"},
    };
    for (const auto &bad : cases) {
        result = RunCli(bad.args);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.err, "sfxpack: " + bad.problem + " (see '" + bad.help + "')\n");
    }
}

}  // namespace

// A translation is read by libgettextpo and checked text by text; the first
// fault is one line naming the file and the line, and nothing is written.
TEST_F(Cli, BadTranslationsAreRefusedNamingFileAndLine)
{
    WriteFile(in + "/a.txt", "x");
    std::string po = tmp / "p.po";
    auto Translation = [&](const std::string &language, const std::string &msgid, const std::string &msgstr) {
        WriteFile(po, "msgid \"\"\nmsgstr \"\"\n\"Language: " + language +
                          "\\n\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                          "msgid \"" + msgid + "\"\nmsgstr \"" + msgstr + "\"\n");
        return Create({"--language", po});
    };
    const std::string launch = "WinExec failed: return=%d", open = "Could not open destination file %s";
    const std::string create = "Could not create destination file %s.  Error number: %d";
    ExpectRefused(Translation("de", launch, "Fehler %s"),
                  po + ":7: \"Fehler %s\": the fields differ from the original's (%d, in this order)");
    ExpectRefused(Translation("de", open, "Datei %s, Fehler %d"),
                  po + ":7: \"Datei %s, Fehler %d\": the fields differ from the original's (%s, in this order)");
    ExpectRefused(Translation("de", create, "Fehler %d: %s"),
                  po + ":7: \"Fehler %d: %s\": the fields differ from the original's (%s %d, in this order)");
    ExpectRefused(Translation("de", open, "Datei %5s"),
                  po + ":7: \"Datei %5s\": the fields differ from the original's (%s, in this order)");
    std::string longText;
    for (int i = 0; i < 128; i++)
        longText += "ä";
    ExpectRefused(Translation("de", "OK", longText),
                  po + ":7: \"" + longText + "\": longer than the launcher's 127 characters (128)");
    const std::string wrong = "You have entered an incorrect password.";
    ExpectRefused(Translation("de", wrong, "Ω"),
                  po + ":7: \"Ω\": the character 'Ω' (U+03A9) has no place in code page 1252, the ANSI code page "
                       "of de, in which the silent log holds it");
    ExpectRefused(Translation("ja", wrong, "ü"),
                  po + ":7: \"ü\": the character 'ü' (U+00FC) has no place in code page 932, the ANSI code page "
                       "of ja, in which the silent log holds it");
    ExpectRefused(Translation("de", "OK", "O\\nK"), po + ":7: \"O\\nK\": a control character");
    // Only shown, never logged: any character will do.
    ASSERT_EQ(Translation("de", "OK", "Ω").exitCode, 0);
    fs::remove(out);
    ExpectRefused(Translation("de", "OK\"\nmsgstr \"x", "y"), po + ":8: syntax error");
    ExpectRefused(Translation("de", "OK", "unterminated\nmsgid \"x"), po + ":8: end-of-line within string");
    ExpectRefused(Translation("xx", "OK", "x"),
                  po + ":2: 'xx' is not a language the launcher's texts can be stored in");
    ExpectRefused(Translation("he_IL", "OK", "x"),
                  po + ":2: 'he_IL' is written right to left, which the launcher's windows cannot show");
    ExpectRefused(Translation("zh", "OK", "x"),
                  po + ":2: 'zh' names no variant of Chinese: zh_CN (simplified) or zh_TW (traditional)");
    ExpectRefused(Translation("de", "Okay", "x"),
                  po + ":7: \"Okay\" is not a text of the launcher ('sfxpack texts' lists them)");
    ExpectRefused(Create({"--language", tmp / "missing.po"}), tmp / "missing.po" + ": cannot be read");
    fs::path own = fs::path(SFXPACK_TEST_CLI).parent_path();
    ExpectRefused(Create({"--language", "xx"}), "--language xx: no shipped translation of that name in " +
                                                    (own / "translations").string() + " or " +
                                                    (own / "../share/sfxpack/translations").lexically_normal().string() +
                                                    "; give a .po file");
    ExpectRefused(Create({"--caption", std::string(128, 'C')}),
                  "--caption: longer than the launcher's 127 characters (128)");
    ASSERT_EQ(Translation("de", "OK", "OK").exitCode, 0);
    fs::remove(out);
    fs::copy_file(po, tmp / "q.po");
    ExpectRefused(Create({"--language", po, "--language", tmp / "q.po"}),
                  tmp / "q.po" + ": " + po + " is a translation into the same language (de)");

    // A fuzzy or empty entry keeps the English text; "%%" is no field.
    WriteFile(po, "msgid \"\"\nmsgstr \"\"\n\"Language: de_AT\\n\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                  "#, fuzzy\nmsgid \"" + launch + "\"\nmsgstr \"Fehler %d\"\n\n"
                  "msgid \"" + open + "\"\nmsgstr \"\"\n\n"
                  "msgid \"You have entered an incorrect password.\"\nmsgstr \"100%% falsch.\"\n");
    Result result = Create({"--caption", "Widget", "--language", po});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    sfxpack::PeImage image;
    uint32_t rva;
    std::vector<sfxpack::Resource> resources;
    std::string error;
    ASSERT_TRUE(sfxpack::ReadImageResources(ReadFile(out), &image, &rva, &resources, &error)) << error;
    std::map<uint16_t, std::vector<std::u16string>> blocks;
    for (const sfxpack::Resource &r : resources)
        if (r.type.id == sfxpack::RT_STRING_TYPE && r.name.id == 1)
            ASSERT_TRUE(sfxpack::ReadStringBlock(r.data, &blocks[r.language], &error)) << error;
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0x0007][1], u"Widget");
    EXPECT_EQ(blocks[0x0409][1], u"Widget");
    EXPECT_EQ(blocks[0x0007][4], u"WinExec failed: return=%d");
    EXPECT_EQ(blocks[0x0007][6], u"Could not open destination file %s");
    EXPECT_EQ(blocks[0x0007][7], u"100%% falsch.");
    EXPECT_EQ(blocks[0x0409][7], u"You have entered an incorrect password.");
    EXPECT_NE(Listing().find("\ncaption: Widget\nlanguages: en_US de\n"), std::string::npos);
}
