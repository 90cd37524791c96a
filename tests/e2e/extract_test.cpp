// Extraction by the real launcher under Wine, silent: the exact bytes, places
// and time stamps of what it writes, and the gates before it writes anything;
// a signed package, its version and manifest as Windows reads them, and DLLs
// planted beside a package.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>

#include "sfxpack/pe/manifest.h"
#include "sfxpack/read/reader.h"
#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

// The time stamp of entries whose time is not looked at.
const uint32_t WHEN = DosDateTime(2019, 3, 4, 5, 6, 8);

class Extract : public testing::Test {
protected:
    // Runs `package` with `arguments` and returns the log beside it.
    std::string Launch(const sfxpack::Package &package, const std::string &arguments = "-s")
    {
        e2e::Run run;
        run.arguments = arguments;
        return RunForLog(dir, package, run);
    }
    std::string Out(const std::string &relative) const { return dir / ("temp/~EXB0000/" + relative); }
    TempDir dir;
};

TEST_F(Extract, NestedTreeIsCopiedByteForByteAndStays)
{
    sfxpack::Package package;
    package.entries = {MakeEntry("one.bin", 1, 1, WHEN),
                       MakeEntry("a\\below.bin", 8191, 2, WHEN),
                       MakeEntry("a\\b\\block.bin", 8192, 3, WHEN),
                       MakeEntry("a\\b\\c\\over.bin", 8193, 4, WHEN),
                       MakeEntry("a\\b\\c\\big.bin", 3 * 1024 * 1024 + 17, 5, WHEN),
                       MakeEntry("z\\last.txt", 100, 6, WHEN)};
    EXPECT_EQ(Launch(package), "");
    for (const auto &entry : package.entries) {
        std::string relative = entry.name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        EXPECT_EQ(ReadBytes(Out(relative)), entry.data) << relative;
    }
    // No setup command: nothing is removed after success.
    EXPECT_EQ(ListTree(dir / "temp"),
              (std::vector<std::string>{"~EXB0000/", "~EXB0000/a/", "~EXB0000/a/b/", "~EXB0000/a/b/block.bin",
                                        "~EXB0000/a/b/c/", "~EXB0000/a/b/c/big.bin", "~EXB0000/a/b/c/over.bin",
                                        "~EXB0000/a/below.bin", "~EXB0000/one.bin", "~EXB0000/z/",
                                        "~EXB0000/z/last.txt"}));
}

TEST_F(Extract, ExistingFileIsTruncatedAndOverwritten)
{
    // The second entry writes the same file again, shorter.
    sfxpack::Package package;
    package.entries = {MakeEntry("d\\same.bin", 20000, 1, WHEN), MakeEntry("d\\same.bin", 10, 2, WHEN)};
    EXPECT_EQ(Launch(package), "");
    EXPECT_EQ(ReadBytes(Out("d/same.bin")), PatternBytes(10, 2));
}

TEST_F(Extract, SourcePrefixIsCutAndBareNamesLandInTheWorkingDirectory)
{
    sfxpack::Package package;
    package.sourcePrefix = "C:\\build\\";
    // The prefix is cut by length, not compared.
    package.entries = {MakeEntry("C:\\build\\sub\\f.txt", 5, 1, WHEN), MakeEntry("X:\\other\\g.txt", 6, 2, WHEN),
                       MakeEntry("C:\\build\\top.txt", 7, 3, WHEN)};
    EXPECT_EQ(Launch(package), "");
    EXPECT_EQ(ReadBytes(Out("sub/f.txt")), PatternBytes(5, 1));
    EXPECT_EQ(ReadBytes(Out("g.txt")), PatternBytes(6, 2));
    EXPECT_EQ(ReadBytes(Out("top.txt")), PatternBytes(7, 3));

    TempDir bare;
    sfxpack::Package plain;
    plain.entries = {MakeEntry("SETUP.INI", 3, 4, WHEN)};
    e2e::Run run;
    run.arguments = "-s";
    EXPECT_EQ(RunPackage(bare, plain, run), 0);
    EXPECT_EQ(ListTree(bare / "temp"), (std::vector<std::string>{"~EXB0000/", "~EXB0000/SETUP.INI"}));
}

TEST_F(Extract, NameLengthBounds)
{
    // 260 bytes: a long prefix that is cut, so that the destination fits.
    sfxpack::Package package;
    package.sourcePrefix = std::string(126, 'p') + "\\";
    std::string rest = "deep\\" + std::string(260 - 127 - 5, 'n');
    package.entries = {MakeEntry(package.sourcePrefix + rest, 50, 1, WHEN)};
    ASSERT_EQ(package.entries[0].name.size(), 260u);
    EXPECT_EQ(Launch(package), "");
    EXPECT_EQ(ReadBytes(Out("deep/" + std::string(128, 'n'))), PatternBytes(50, 1));

    for (int32_t length : {0, 261}) {
        TempDir other;
        sfxpack::Package bad;
        bad.entries = {MakeEntry("first.txt", 5, 1, WHEN), MakeEntry("x.txt", 5, 2, WHEN)};
        bad.entries[1].nameLength = length;
        e2e::Run run;
        run.arguments = "-s";
        EXPECT_EQ(RunForLog(other, bad, run), "Extract failed: return from extract=-7\r\n") << length;
        // The walk of the removal pass ends at the same entry: the first file
        // is deleted, and the working directory, empty, goes too.
        EXPECT_EQ(ListTree(other / "temp"), (std::vector<std::string>{})) << length;
    }
}

TEST_F(Extract, ModificationTimesAreTheStoredLocalTimes)
{
    // Wine takes its time zone from TZ. A zone without daylight saving keeps
    // the expected values independent of the date of the test run.
    setenv("TZ", "XST-3", 1);
    sfxpack::Package package;
    package.entries = {MakeEntry("t\\winter.txt", 10, 1, DosDateTime(2001, 1, 31, 23, 59, 58)),
                       MakeEntry("t\\summer.txt", 10, 2, DosDateTime(2020, 7, 15, 12, 0, 0)),
                       MakeEntry("t\\first.txt", 10, 3, DosDateTime(1980, 1, 1, 0, 0, 0)),
                       // Month 13 converts to no time: the file keeps the time of writing.
                       MakeEntry("t\\invalid.txt", 10, 4, DosDateTime(2010, 13, 1, 0, 0, 0))};
    time_t before = time(nullptr);
    EXPECT_EQ(Launch(package), "");
    unsetenv("TZ");
    auto mtime = [&](const std::string &name) {
        struct stat info = {};
        EXPECT_EQ(stat(Out("t/" + name).c_str(), &info), 0) << name;
        return info.st_mtime;
    };
    auto utc = [](int year, int month, int day, int hour, int minute, int second) {
        struct tm fields = {};
        fields.tm_year = year - 1900;
        fields.tm_mon = month - 1;
        fields.tm_mday = day;
        fields.tm_hour = hour;
        fields.tm_min = minute;
        fields.tm_sec = second;
        return timegm(&fields);
    };
    const int east = 3 * 3600;
    EXPECT_EQ(mtime("winter.txt"), utc(2001, 1, 31, 23, 59, 58) - east);
    EXPECT_EQ(mtime("summer.txt"), utc(2020, 7, 15, 12, 0, 0) - east);
    EXPECT_EQ(mtime("first.txt"), utc(1980, 1, 1, 0, 0, 0) - east);
    EXPECT_GE(mtime("invalid.txt"), before - 2);
    EXPECT_EQ(ReadBytes(Out("t/invalid.txt")), PatternBytes(10, 4));
}

TEST_F(Extract, PackageLengthIsTheLeastLengthAccepted)
{
    sfxpack::Package package;
    package.entries = {MakeEntry("a\\f.bin", 9000, 1, WHEN)};
    Bytes stub, whole;
    std::string error;
    ASSERT_TRUE(sfxpack::ReadFileBytes(LauncherStub(), &stub, &error)) << error;
    ASSERT_TRUE(sfxpack::BuildPackage(stub, package, &whole, &error)) << error;

    // One byte short: refused before any entry; the working directory,
    // empty, goes at the end of the run.
    package.truncateAt = whole.size() - 1;
    EXPECT_EQ(Launch(package), "This file is not the correct size or is corrupt, and is unusable.\r\n");
    EXPECT_EQ(ListTree(dir / "temp"), (std::vector<std::string>{}));

    for (size_t extra : {0, 1}) {
        TempDir other;
        Bytes bytes = whole;
        bytes.resize(whole.size() + extra, 0x55);
        WriteBytes(other / "pkg.exe", bytes);
        std::filesystem::create_directories(other / "temp");
        e2e::Run run;
        run.arguments = "-s";
        run.temp = WinePath(other / "temp");
        EXPECT_EQ(RunWine(other / "pkg.exe", run), 0);
        EXPECT_EQ(ReadText(other / "SETUP.LOG"), "") << extra;
        EXPECT_EQ(ReadBytes(other / "temp/~EXB0000/a/f.bin"), PatternBytes(9000, 1)) << extra;
    }
}

// Made as a release is: sfxpack create with the package's own icon,
// version information and manifest, then signed as the last step. The
// signature goes after the integrity record, where the launcher never looks,
// and covers the payload.
TEST_F(Extract, ReleasePackageWithItsOwnResourcesRunsSignedAndADamagedOneFailsBothChecks)
{
    auto shell = [&](const std::string &command) {
        return std::system((command + " >>'" + (dir / "tools.log") + "' 2>&1").c_str());
    };
    ASSERT_EQ(shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Package Test Signer'"
                    " -addext extendedKeyUsage=codeSigning -keyout '" + (dir / "key.pem") + "' -out '" +
                    (dir / "cert.pem") + "'"),
              0);
    std::string images;
    for (int side : {16, 32, 48, 256}) {
        std::string png = dir / ("icon" + std::to_string(side) + ".png");
        ASSERT_EQ(shell("convert -size " + std::to_string(side) + "x" + std::to_string(side) +
                        " xc:teal 'PNG32:" + png + "'"),
                  0);
        images += (side == 256 ? " -r '" : " '") + png + "'";
    }
    ASSERT_EQ(shell("icotool -c -o '" + (dir / "product.ico") + "'" + images), 0);
    WriteBytes(dir / "product/Setup.exe", RecorderProgram());
    WriteBytes(dir / "product/data/f.bin", PatternBytes(30000, 1));
    ASSERT_EQ(shell(std::string("'") + SFXPACK_TEST_CLI + "' create -o '" + (dir / "unsigned.exe") + "' --stub '" +
                    LauncherStub() + "' --setup Setup.exe --icon '" + (dir / "product.ico") +
                    "' --file-version 2.5.1 --version-string 'ProductName=Widget Pro' --version-string "
                    "'CompanyName=Widget Makers' --execution-level asInvoker '" + (dir / "product") + "'"),
              0);
    ASSERT_EQ(shell("osslsigncode sign -certs '" + (dir / "cert.pem") + "' -key '" + (dir / "key.pem") +
                    "' -n Widget -in '" + (dir / "unsigned.exe") + "' -out '" + (dir / "pkg.exe") + "'"),
              0);
    auto verify = [&](const std::string &path) {
        return shell("osslsigncode verify -CAfile '" + (dir / "cert.pem") + "' -in '" + path + "'");
    };
    EXPECT_EQ(verify(dir / "pkg.exe"), 0);
    auto sfxpack = [&](const std::string &command, const std::string &path) {
        int status = std::system((std::string(SFXPACK_TEST_CLI) + " " + command + " '" + path + "' >'" +
                                  (dir / "out.txt") + "' 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(sfxpack("list", dir / "pkg.exe"), 0);
    std::string listing = ReadText(dir / "out.txt");
    EXPECT_NE(listing.find("\nicons: 16x16 32x32 48x48 256x256\nfileVersion: 2.5.1.0\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("\nversion: CompanyName=Widget Makers\nmanifest: asInvoker\n"
                           "caption: Tollivex Self-extracting EXE\nlanguages: en_US\nentry: "),
              std::string::npos)
        << listing;
    EXPECT_NE(listing.find(" data\\f.bin\n"), std::string::npos) << listing;
    EXPECT_EQ(sfxpack("verify", dir / "pkg.exe"), 0) << ReadText(dir / "out.txt");
    Bytes signedBytes = ReadBytes(dir / "pkg.exe");

    e2e::Run run = RecordingRun(dir);
    run.arguments = "-s";
    EXPECT_EQ(RunWine(dir / "pkg.exe", run), 0);
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), "");
    EXPECT_NE(ReadText(dir / "records/Setup.txt").find("\ndone\n"), std::string::npos);
    EXPECT_EQ(ListTree(dir / "temp"), std::vector<std::string>{});

    // One byte of the data changed: the signature no longer verifies, and
    // the launcher stops before the setup program and removes everything.
    TempDir damaged;
    size_t unsignedSize = ReadBytes(dir / "unsigned.exe").size();
    signedBytes[unsignedSize - IntegrityRecordSize(2) - 100] ^= 0x01;
    WriteBytes(damaged / "pkg.exe", signedBytes);
    EXPECT_NE(verify(damaged / "pkg.exe"), 0);
    EXPECT_EQ(sfxpack("verify", damaged / "pkg.exe"), 1);
    EXPECT_NE(ReadText(dir / "out.txt").find("entry 2 of 2"), std::string::npos) << ReadText(dir / "out.txt");
    run = RecordingRun(damaged);
    run.arguments = "-s";
    EXPECT_EQ(RunWine(damaged / "pkg.exe", run), 0);
    EXPECT_EQ(ReadText(damaged / "SETUP.LOG"), "Extract failed: return from extract=-9\r\n");
    EXPECT_EQ(ListTree(damaged.path()), (std::vector<std::string>{"SETUP.LOG", "pkg.exe", "records/", "temp/"}));
}

// One verdict on one package: `sfxpack verify` and `sfxpack extract` exit 0
// exactly when the launcher, run silently, extracts the package without a
// message.
TEST_F(Extract, VerifyExtractAndTheLauncherAgreeOnEveryPackage)
{
    Bytes stub;
    std::string error;
    ASSERT_TRUE(sfxpack::ReadFileBytes(LauncherStub(), &stub, &error)) << error;
    auto Build = [&](const std::string &prefix, const std::string &extra, const std::string &last = "") {
        sfxpack::Package package;
        package.integrityRecord = true;
        package.sourcePrefix = prefix;
        package.entries = {MakeEntry(prefix + "a.txt", 5, 1, WHEN), MakeEntry(prefix + "sub\\b.bin", 20000, 2, WHEN)};
        for (const std::string &name : {extra, last})
            if (!name.empty())
                package.entries.push_back(MakeEntry(name, 7, 3, WHEN));
        Bytes bytes;
        std::string failure;
        EXPECT_TRUE(sfxpack::BuildPackage(stub, package, &bytes, &failure)) << failure;
        return bytes;
    };
    Bytes intact = Build("", "");
    sfxpack::ParsedPackage parsed;
    ASSERT_TRUE(sfxpack::ParsePackage(intact, &parsed, &error)) << error;
    Bytes damagedEntry = intact, damagedPassword = intact;
    damagedEntry[parsed.entries[1].dataOffset + 12345] ^= 0x01;
    damagedPassword[parsed.resource.fileOffset + offsetof(PackageHeader, storedPassword)] ^= 0x01;
    // 140 bytes below the working folder fit under this test's TEMP; verify
    // says how long a TEMP they leave room for.
    std::string longButTaken = std::string(131, 'd') + "\\long.txt";
    const struct {
        std::string what;
        Bytes bytes;
        bool intact;
    } cases[] = {
        {"intact", intact, true},
        {"a path of 140 bytes", Build("", longButTaken), true},
        {"a byte of an entry flipped", damagedEntry, false},
        {"a byte of the password field flipped", damagedPassword, false},
        {"..\\evil.txt", Build("", "..\\evil.txt"), false},
        {"con.txt", Build("", "con.txt"), false},
        {"a folder part shorter than the source prefix", Build("C:\\src\\", "a.txt"), false},
        {"a path of 250 bytes", Build("", std::string(241, 'd') + "\\long.txt"), false},
        {"a*b.txt", Build("", "a*b.txt"), false},
        // Windows takes '/' for a separator and drops a component's
        // trailing dots and blanks: the launcher refuses such names.
        {"x/y.txt", Build("", "x/y.txt"), false},
        {"dir \\x.txt", Build("", "dir \\x.txt"), false},
        {"d1\\d2.\\d3 \\x.txt", Build("", "d1\\d2.\\d3 \\x.txt"), false},
        {"a\\b..\\c. \\d.txt", Build("", "a\\b..\\c. \\d.txt"), false},
        // A file and a folder of one name, in either order, case aside.
        {"seen.exe, then seen.exe\\x.txt", Build("", "seen.exe", "seen.exe\\x.txt"), false},
        {"A, then a\\b.txt", Build("", "A", "a\\b.txt"), false},
        {"sub\\b.bin, then SUB", Build("", "SUB"), false},
    };
    for (const auto &one : cases) {
        TempDir run;
        WriteBytes(run / "pkg.exe", one.bytes);
        int status = std::system((std::string(SFXPACK_TEST_CLI) + " verify '" + (run / "pkg.exe") + "' >'" +
                                  (run / "verify.txt") + "' 2>&1").c_str());
        int verified = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::string said = ReadText(run / "verify.txt");
        status = std::system((std::string(SFXPACK_TEST_CLI) + " extract '" + (run / "pkg.exe") + "' '" +
                              (run / "extracted") + "' >'" + (run / "extract.txt") + "' 2>&1").c_str());
        int extracted = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::filesystem::create_directories(run / "temp");
        e2e::Run how;
        how.arguments = "-s";
        how.temp = WinePath(run / "temp");
        EXPECT_EQ(RunWine(run / "pkg.exe", how), 0);
        std::string log = ReadText(run / "SETUP.LOG");
        EXPECT_EQ(verified, one.intact ? 0 : 1) << one.what << ": " << said;
        EXPECT_EQ(extracted, one.intact ? 0 : 1) << one.what << ": " << ReadText(run / "extract.txt");
        EXPECT_EQ(log.empty(), one.intact) << one.what << ": " << log;
        if (one.what == "a path of 140 bytes")
            EXPECT_NE(said.find(": entry 3 of 3: " + longButTaken + ": its 140 bytes of path below the working "
                                "folder leave room for a TEMP of at most 109 bytes; under a longer one the launcher "
                                "refuses the package\n"),
                      std::string::npos)
                << said;
    }
}

// The writer built for Windows, run under Wine, and the one built for Linux
// take and refuse the same names: only characters that come back as
// themselves, as the launcher's system reads the bytes.
TEST_F(Extract, TheWindowsAndLinuxWritersGiveOneVerdictOnEveryName)
{
    const struct {
        std::string codePage, name;
        bool taken;
    } cases[] = {
        {"932", "a\xC2\xA5" "b.txt", false},  // yen sign, 0x5C in the GNU C library's 932
        {"932", "\xE3\x80\x9C.txt", false},  // wave dash, read back as U+FF5E
        {"932", "\xEF\xBD\x9E.txt", true},
        {"1258", "\xE1\xBA\xA5.txt", false}, // precomposed, no place of its own in 1258
        {"1258", "a\xCD\x80.txt", false},     // U+0340, read back as U+0300
        {"1258", "a\xCC\x81.txt", true},
        {"1253", "\xE1\xBF\xAE.txt", false}, // U+1FEE, read back as U+0385
        {"1253", "\xCE\x85.txt", true},
    };
    std::string windowsWriter = WinBuildDir() + "/sfxpack/sfxpack.exe";
    ASSERT_TRUE(Exists(windowsWriter));
    for (const auto &one : cases) {
        TempDir run;
        WriteText(run / ("in/" + one.name), "x");
        int native = std::system((std::string("'") + SFXPACK_TEST_CLI + "' create --stub '" + LauncherStub() +
                                 "' --codepage " + one.codePage + " -o '" + (run / "linux.exe") + "' '" +
                                 (run / "in") + "' 2>/dev/null").c_str());
        int windows = WaitForExit(StartWine({windowsWriter, "create", "--stub", WinePath(LauncherStub()),
                                             "--codepage", one.codePage, "-o", WinePath(run / "windows.exe"),
                                             WinePath(run / "in")}));
        EXPECT_EQ(WIFEXITED(native) ? WEXITSTATUS(native) : -1, one.taken ? 0 : 1) << one.codePage << " " << one.name;
        EXPECT_EQ(windows, one.taken ? 0 : 1) << one.codePage << " " << one.name;
        if (one.taken)
            EXPECT_EQ(ReadBytes(run / "linux.exe"), ReadBytes(run / "windows.exe")) << one.codePage << " " << one.name;
    }
}

// The Windows build of sfxpack writes a caption as the Linux one does, and
// refuses translations, which need libgettextpo, with one clear line.
TEST_F(Extract, TheWindowsWriterTakesACaptionButNoTranslation)
{
    WriteText(dir / "in/a.txt", "x");
    std::string windowsWriter = WinBuildDir() + "/sfxpack/sfxpack.exe";
    const std::string caption = "Widget \xCE\xA9 Setup";
    int native = std::system((std::string("'") + SFXPACK_TEST_CLI + "' create --stub '" + LauncherStub() +
                              "' --caption '" + caption + "' -o '" + (dir / "linux.exe") + "' '" + (dir / "in") +
                              "'").c_str());
    EXPECT_EQ(native, 0);
    EXPECT_EQ(WaitForExit(StartWine({windowsWriter, "create", "--stub", WinePath(LauncherStub()), "--caption", caption,
                                     "-o", WinePath(dir / "windows.exe"), WinePath(dir / "in")})),
              0);
    EXPECT_EQ(ReadBytes(dir / "linux.exe"), ReadBytes(dir / "windows.exe"));

    int refused = std::system(("wine '" + windowsWriter + "' create --stub '" + WinePath(LauncherStub()) +
                               "' --language de -o '" + WinePath(dir / "de.exe") + "' '" + WinePath(dir / "in") +
                               "' </dev/null >/dev/null 2>'" + (dir / "err.txt") + "'").c_str());
    EXPECT_EQ(WIFEXITED(refused) ? WEXITSTATUS(refused) : -1, 1);
    EXPECT_EQ(ReadText(dir / "err.txt"),
              "sfxpack: --language needs GNU gettext's libgettextpo, which the Windows build of sfxpack lacks; "
              "make packages with translations with the Linux build\r\n");
    EXPECT_FALSE(Exists(dir / "de.exe"));
}

// The version resource and the manifest as Windows reads them from a package
// (GetFileVersionInfo, VerQueryValue, FindResource): the exact values,
// non-ASCII and beyond the BMP included, whatever the ANSI code page.
TEST_F(Extract, VersionAndManifestReadByWindowsAreTheOnesGiven)
{
    WriteBytes(dir / "product/Setup.exe", RecorderProgram());
    std::string command = std::string("'") + SFXPACK_TEST_CLI + "' create -o '" + (dir / "pkg.exe") + "' --stub '" +
                          LauncherStub() + "' --setup Setup.exe --file-version 1.2.3.4 --version-string "
                          "'CompanyName=\xC3\x9Cn\xC3\xAF\x63\xC3\xB8\x64\xC3\xA9 Ltd' --version-string "
                          "'Comments=\xF0\x9F\x98\x80 beyond the BMP' --execution-level asInvoker '" +
                          (dir / "product") + "' >'" + (dir / "create.txt") + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadText(dir / "create.txt");
    ASSERT_EQ(RunTool("verinfo", {WinePath(dir / "pkg.exe"), WinePath(dir / "verinfo.txt")}), 0);
    std::string manifest, error;
    ASSERT_TRUE(sfxpack::ManifestForLevel("asInvoker", &manifest, &error));
    EXPECT_EQ(ReadText(dir / "verinfo.txt"),
              "file=1.2.3.4\nproduct=1.2.3.4\ntranslation=0409 04b0\n"
              "CompanyName=\xC3\x9Cn\xC3\xAF\x63\xC3\xB8\x64\xC3\xA9 Ltd\nFileVersion=1.2.3.4\n"
              "OriginalFilename=pkg.exe\nProductVersion=1.2.3.4\nComments=\xF0\x9F\x98\x80 beyond the BMP\n"
              "manifest=" + manifest);
}

// user32 loads its theme library on demand. With Wine told to prefer a
// native copy of it, a copy planted beside the package is taken from there
// unless the launcher has restricted its DLL search to the system directory;
// the setup program still takes one from its own directory.
TEST_F(Extract, DllBesideThePackageIsNotLoadedButTheSetupProgramFindsItsOwn)
{
    Bytes planted = ReadBytes(WinBuildDir() + "/tools/planted.dll");
    ASSERT_FALSE(planted.empty());
    WriteBytes(dir / "uxtheme.dll", planted);
    sfxpack::Package package;
    // A program with a window, which exits after 1 ms.
    package.setupCommand = "tvdelete.exe 1";
    package.entries = {MakeEntry("tvdelete.exe", ReadBytes(ToolPath("tvdelete")), WHEN),
                       MakeEntry("uxtheme.dll", planted, WHEN)};
    // Read by Wine from the environment of each process it starts.
    const char *before = getenv("WINEDLLOVERRIDES");
    std::string saved = before ? before : "";
    setenv("WINEDLLOVERRIDES", (saved + ";uxtheme=n,b").c_str(), 1);
    e2e::Run run;  // with its windows, as a user starts it
    EXPECT_EQ(RunPackage(dir, package, run), 0);
    if (before)
        setenv("WINEDLLOVERRIDES", saved.c_str(), 1);
    else
        unsetenv("WINEDLLOVERRIDES");
    // The setup program's mark stays in the working directory, as the removal
    // pass knows nothing of it; beside the package there is none.
    EXPECT_EQ(ListTree(dir.path()), (std::vector<std::string>{"pkg.exe", "temp/", "temp/~EXB0000/",
                                                               "temp/~EXB0000/uxtheme.dll.loaded", "uxtheme.dll"}));
}

class Password : public Extract {
protected:
    // The log of a silent run of a package protected by `stored`, and whether
    // its file was extracted.
    std::string Try(const std::string &stored, const std::string &arguments, bool *extracted)
    {
        TempDir run;
        sfxpack::Package package;
        package.password = stored;
        package.productTitle = "Product";  // silent: never asked
        package.entries = {MakeEntry("f.txt", 4, 1, WHEN)};
        e2e::Run how;
        how.arguments = arguments;
        std::string log = RunForLog(run, package, how);
        *extracted = Exists(run / "temp/~EXB0000/f.txt");
        // Refused before the working directory is filled: empty, it goes.
        if (!*extracted)
            EXPECT_EQ(ListTree(run / "temp"), (std::vector<std::string>{})) << arguments;
        return log;
    }
};

TEST_F(Password, OnlyTheExactPasswordOpensThePackage)
{
    const std::string wrong = "You have entered an incorrect password.\r\n";
    const std::string p39(39, 'k');
    bool extracted = false;
    EXPECT_EQ(Try("Secret", "-s -pSecret", &extracted), "");
    EXPECT_TRUE(extracted);
    EXPECT_EQ(Try("Secret", "-s -psecret", &extracted), wrong);
    EXPECT_FALSE(extracted);
    EXPECT_EQ(Try("Secret", "-s -pOther", &extracted), wrong);
    EXPECT_FALSE(extracted);
    EXPECT_EQ(Try("Secret", "-s -p", &extracted), wrong);
    EXPECT_FALSE(extracted);
    EXPECT_EQ(Try("Secret", "-s", &extracted), wrong);
    EXPECT_FALSE(extracted);
    EXPECT_EQ(Try(p39, "-s -p" + p39, &extracted), "");
    EXPECT_TRUE(extracted);
    // 40 characters never fit: refused, never cut to the 39 that would match.
    EXPECT_EQ(Try(p39, "-s -p" + p39 + "k", &extracted), wrong);
    EXPECT_FALSE(extracted);
    // No password stored: -p is never compared.
    EXPECT_EQ(Try("", "-s -panything", &extracted), "");
    EXPECT_TRUE(extracted);
}

}  // namespace
