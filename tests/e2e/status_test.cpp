// Each way an extraction fails, reached on purpose with a real package under
// Wine: the exact messages in their order, and what is left on disk once the
// removal pass (where there is one) has run.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <optional>
#include <unistd.h>

#include "tests/e2e/harness.h"

using namespace e2e;
using Tree = std::vector<std::string>;

namespace {

const std::string CAPTION = "Tollivex Self-extracting EXE";
const int IDOK_BUTTON = 1, IDYES_BUTTON = 6, IDNO_BUTTON = 7;
const Tree ALL_REMOVED = {"SETUP.LOG", "pkg.exe", "temp/"};

// Two files in nested directories, then the entry under test.
sfxpack::Package WithLast(const sfxpack::Entry &last)
{
    sfxpack::Package package;
    package.entries = {MakeEntry("a\\b\\one.bin", 9000, 1), MakeEntry("a\\two.bin", 10, 2), last};
    return package;
}

size_t BuiltSize(const sfxpack::Package &package)
{
    Bytes stub, out;
    std::string error;
    EXPECT_TRUE(sfxpack::ReadFileBytes(LauncherStub(), &stub, &error)) << error;
    EXPECT_TRUE(sfxpack::BuildPackage(stub, package, &out, &error)) << error;
    return out.size();
}

// The package cut to `length` bytes, with a packageLength that still fits it.
sfxpack::Package CutTo(sfxpack::Package package, size_t length)
{
    package.truncateAt = length;
    package.packageLength = static_cast<int32_t>(length);
    return package;
}

class Status : public testing::Test {
protected:
    std::string Silent(const sfxpack::Package &package, e2e::Run run = {})
    {
        run.arguments = "-s";
        return RunForLog(dir, package, run);
    }
    // The launcher upper-cases a to z in TEMP.
    std::string Working() const
    {
        std::string base = WinePath(dir / "temp");
        for (char &c : base)
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        return base + "\\~EXB0000\\";
    }
    TempDir dir;
};

TEST_F(Status, EntryFieldsCutShortAreReadFailures)
{
    sfxpack::Package package = WithLast(MakeEntry("c\\three.bin", 300, 3));
    size_t whole = BuiltSize(package);
    // Inside the name of the last entry: its file is never made, and the
    // removal walk ends at the same place; nothing is left in the working
    // directory, which goes at the end of the run.
    EXPECT_EQ(Silent(CutTo(package, whole - 300 - 8 - 4)), "Extract failed: return from extract=-6\r\n");
    EXPECT_EQ(ListTree(dir.path()), ALL_REMOVED);

    // Inside its size field: the file was made, and removal deletes it before
    // it fails on the same field.
    TempDir other;
    e2e::Run run;
    run.arguments = "-s";
    EXPECT_EQ(RunForLog(other, CutTo(package, whole - 300 - 2), run), "Extract failed: return from extract=-6\r\n");
    EXPECT_EQ(ListTree(other.path()), ALL_REMOVED);
}

TEST_F(Status, SizeOfZeroOrLessIsABadEntry)
{
    for (int32_t size : {0, -5}) {
        TempDir run;
        sfxpack::Entry last = MakeEntry("c\\three.bin", 0, 3);
        last.size = size;
        e2e::Run how;
        how.arguments = "-s";
        EXPECT_EQ(RunForLog(run, WithLast(last), how), "Extract failed: return from extract=-7\r\n") << size;
        EXPECT_EQ(ListTree(run.path()), ALL_REMOVED) << size;
    }
}

TEST_F(Status, DestinationThatIsADirectoryCannotBeCreated)
{
    // "a" exists as a directory by then.
    EXPECT_EQ(Silent(WithLast(MakeEntry("a", 5, 3))),
              "Could not create destination file " + Working() + "a.  Error number: 13\r\n"
              "Extract failed: return from extract=-8\r\n");
    // The walk completes: everything written and the working directory go.
    EXPECT_EQ(ListTree(dir.path()), ALL_REMOVED);
}

TEST_F(Status, DirectoryLevelBlockedByAFileCannotBeCreated)
{
    sfxpack::Package package = WithLast(MakeEntry("x\\y\\f.txt", 5, 4));
    package.entries.insert(package.entries.begin() + 2, MakeEntry("x", 3, 3));
    EXPECT_EQ(Silent(package), "Could not create the directory " + Working() + "x\\y.\r\n"
                               "Extract failed: return from extract=-13\r\n");
    EXPECT_EQ(ListTree(dir.path()), ALL_REMOVED);
}

TEST_F(Status, DataCutShortIsADataReadFailure)
{
    sfxpack::Package package = WithLast(MakeEntry("c\\three.bin", 20000, 3));
    EXPECT_EQ(Silent(CutTo(package, BuiltSize(package) - 100)), "Extract failed: return from extract=-9\r\n");
    // Removal only seeks past the data, so its walk completes.
    EXPECT_EQ(ListTree(dir.path()), ALL_REMOVED);
}

TEST_F(Status, DamageFoundByTheIntegrityRecordEndsTheRunBeforeTheSetupProgram)
{
    // The setup program comes first and is written whole before any damage
    // is met; it must never be started. The package asks for exit codes.
    sfxpack::Package package = WithLast(MakeEntry("c\\three.bin", 20000, 3));
    package.entries.insert(package.entries.begin(), MakeEntry("Setup.exe", RecorderProgram()));
    package.setupCommand = "Setup.exe";
    package.password = "pw";
    package.integrityRecord = true;
    package.exitCodes = true;
    Bytes stub, whole;
    std::string error;
    ASSERT_TRUE(sfxpack::ReadFileBytes(LauncherStub(), &stub, &error)) << error;
    ASSERT_TRUE(sfxpack::BuildPackage(stub, package, &whole, &error)) << error;
    sfxpack::ResourceLocation header;
    ASSERT_TRUE(sfxpack::FindHeaderResource(stub, &header, &error)) << error;
    std::vector<size_t> entryAt = {stub.size()};
    for (const sfxpack::Entry &entry : package.entries)
        entryAt.push_back(entryAt.back() + ENTRY_FIXED_BYTES + entry.name.size() + entry.data.size());
    const size_t record = entryAt.back();
    ASSERT_EQ(whole.size(), record + IntegrityRecordSize(4));

    // The log and what is left after a run of the package with the byte at
    // `offset` flipped (none: undamaged); its exit code in `code`.
    auto runDamaged = [&](std::optional<size_t> offset, Tree *left, int *code) {
        TempDir run;
        Bytes bytes = whole;
        if (offset)
            bytes[*offset] ^= 0x10;
        WriteBytes(run / "pkg.exe", bytes);
        e2e::Run how = RecordingRun(run);
        how.arguments = "-s -ppw";
        *code = RunWine(run / "pkg.exe", how);
        *left = ListTree(run.path());
        return ReadText(run / "SETUP.LOG");
    };
    Tree left;
    int code;
    EXPECT_EQ(runDamaged(std::nullopt, &left, &code), "");
    EXPECT_EQ(left, (Tree{"SETUP.LOG", "pkg.exe", "records/", "records/Setup.txt", "temp/"}));
    EXPECT_EQ(code, 0);

    // Whatever the damage, nothing is left, the empty working directory
    // included, also where the removal walk cannot get past the damage.
    const Tree allRemoved = {"SETUP.LOG", "pkg.exe", "records/", "temp/"};
    const std::string dataReadFailed = "Extract failed: return from extract=-9\r\n";
    const std::string badHeader = "Extract failed: return from extract=-2\r\n";
    const size_t field = header.fileOffset;
    const struct {
        std::string what;
        size_t offset;
        std::string log;
    } damaged[] = {
        {"first data block of one.bin", entryAt[1] + ENTRY_FIXED_BYTES + package.entries[1].name.size() + 100,
         dataReadFailed},
        {"date of two.bin", entryAt[2] + 4 + package.entries[2].name.size(), dataReadFailed},
        // 't' of "three" turns into 0xF4, still a name that can be written.
        {"name of three.bin", entryAt[3] + 4 + 2, dataReadFailed},
        {"last byte of three.bin", record - 1, dataReadFailed},
        {"CRC of one.bin in the record", record + INTEGRITY_HEAD_BYTES + 4, dataReadFailed},
        {"signature of the record", record + 3, dataReadFailed},
        // The removal walk reads the same damaged bytes and stops early.
        {"nameLength of two.bin", entryAt[2] + 1, "Extract failed: return from extract=-7\r\n"},
        {"size of one.bin", entryAt[1] + 8 + package.entries[1].name.size(), dataReadFailed},
        // Header fields: found before the password is checked or anything
        // else of the header is believed. The exit code tells the damage
        // also where the header cannot be read past its size or version.
        {"headerSize", field + offsetof(PackageHeader, headerSize), badHeader},
        {"formatVersion", field + offsetof(PackageHeader, formatVersion), badHeader},
        {"stored password", field + offsetof(PackageHeader, storedPassword), badHeader},
        {"payloadOffset", field + offsetof(PackageHeader, payloadOffset), badHeader},
        {"entryCount", field + offsetof(PackageHeader, entryCount), badHeader},
    };
    for (const auto &bad : damaged) {
        EXPECT_EQ(runDamaged(bad.offset, &left, &code), bad.log) << bad.what;
        EXPECT_EQ(left, allRemoved) << bad.what;
        EXPECT_EQ(code, 1620) << bad.what;  // ERROR_INSTALL_PACKAGE_INVALID
    }
    // The mark in the header damaged: the record is still found by its
    // signature, and its header CRC shows the damage. The package no longer
    // asks for exit codes.
    EXPECT_EQ(runDamaged(field + offsetof(PackageHeader, reserved), &left, &code), badHeader);
    EXPECT_EQ(left, allRemoved);
    EXPECT_EQ(code, 0);
}

TEST_F(Status, FullDiskIsADataWriteFailure)
{
    // Wine's processes may write files of at most 64 KiB: the log fits, the
    // third entry does not.
    e2e::Run run;
    run.fileSizeLimit = 64 * 1024;
    EXPECT_EQ(Silent(WithLast(MakeEntry("c\\three.bin", 200000, 3)), run),
              "Extract failed: return from extract=-10\r\n");
    EXPECT_EQ(ListTree(dir.path()), ALL_REMOVED);

    // The data cut short after 100000 bytes: the 64 KiB written out fit, the
    // four blocks still buffered when the read fails do not. The write fails
    // first, as it would have without the buffer.
    TempDir other;
    sfxpack::Package package = WithLast(MakeEntry("c\\three.bin", 200000, 3));
    run.arguments = "-s";
    EXPECT_EQ(RunForLog(other, CutTo(package, BuiltSize(package) - 100000), run),
              "Extract failed: return from extract=-10\r\n");
    EXPECT_EQ(ListTree(other.path()), ALL_REMOVED);
}

TEST_F(Status, MarkedPackagesExitWithACodeForEachOutcome)
{
    sfxpack::Package setup = WithLast(MakeEntry("Setup.exe", RecorderProgram()));
    setup.setupCommand = "Setup.exe";
    sfxpack::Package missingProgram = WithLast(MakeEntry("c.bin", 5, 3));
    missingProgram.setupCommand = "missing.exe";
    sfxpack::Package locked = WithLast(MakeEntry("c.bin", 5, 3));
    locked.password = "pw";
    sfxpack::Entry sizeZero = MakeEntry("c.bin", 5, 3);
    sizeZero.size = 0;
    sfxpack::Package blockedDir = WithLast(MakeEntry("x\\y\\f.txt", 5, 4));
    blockedDir.entries.insert(blockedDir.entries.begin() + 2, MakeEntry("x", 3, 3));
    sfxpack::Package large = WithLast(MakeEntry("c.bin", 200000, 3));

    const struct {
        std::string what;
        sfxpack::Package package;
        std::string arguments;
        std::string programExit;  // the setup program's own exit code
        int code;
    } cases[] = {
        {"the setup program's own code", setup, "-s", "3010", 3010},
        {"the setup program's failure", setup, "-s", "1603", 1603},
        {"no setup program", WithLast(MakeEntry("c.bin", 5, 3)), "-s", "", 0},
        {"setup program that cannot start", missingProgram, "-s", "", 2},
        {"wrong password", locked, "-s -pno", "", 86},
        {"missing password", locked, "-s", "", 86},
        {"damaged entry", WithLast(sizeZero), "-s", "", 1620},
        {"package cut short", CutTo(large, BuiltSize(large) - 100000), "-s", "", 1620},
        {"file that cannot be created", WithLast(MakeEntry("a", 5, 3)), "-s", "", 82},
        {"folder that cannot be created", blockedDir, "-s", "", 82},
    };
    for (const auto &c : cases) {
        TempDir run;
        sfxpack::Package package = c.package;
        package.exitCodes = true;
        e2e::Run how = RecordingRun(run);
        how.arguments = c.arguments;
        if (!c.programExit.empty())
            how.environment["RECORDER_EXIT"] = c.programExit;
        EXPECT_EQ(RunPackage(run, package, how), c.code) << c.what;
    }

    // Without the mark the setup program's code is not passed on: 0, as
    // after every other run.
    TempDir run;
    e2e::Run how = RecordingRun(run);
    how.arguments = "-s";
    how.environment["RECORDER_EXIT"] = "3010";
    EXPECT_EQ(RunPackage(run, setup, how), 0);
    EXPECT_NE(ReadText(run / "records/Setup.txt"), "");

    // Renamed to a name outside the ANSI code page (1252 here), as a browser
    // may save it: the package opens itself by its wide path and runs.
    TempDir renamed;
    sfxpack::Package marked = setup;
    marked.exitCodes = true;
    WritePackage(renamed / "ec-пакет.exe", marked);
    how = RecordingRun(renamed);
    how.arguments = "-s";
    how.environment["RECORDER_EXIT"] = "3010";
    EXPECT_EQ(RunWine(renamed / "ec-пакет.exe", how), 3010);
    EXPECT_EQ(ReadText(renamed / "SETUP.LOG"), "");

    // Held by another program for deleting, it cannot be opened with
    // deletes denied: nothing is made, nothing is run.
    TempDir held;
    WritePackage(held / "pkg.exe", marked);
    Background hold("holdfile", {"-d", WinePath(held / "pkg.exe"), "5000"}, held / "hold.txt");
    ASSERT_TRUE(hold.WaitForLine("held", 20000));
    how = RecordingRun(held);
    how.arguments = "-s";
    EXPECT_EQ(RunWine(held / "pkg.exe", how), 1619);  // ERROR_INSTALL_PACKAGE_OPEN_FAILED
    EXPECT_EQ(ReadText(held / "SETUP.LOG"), "Extract failed: return from extract=-4\r\n");
    EXPECT_EQ(ListTree(held / "records"), Tree{});
    EXPECT_EQ(ListTree(held / "temp"), Tree{});

    // A disk that is really full: TEMP on a tmpfs of 64 KiB.
    TempDir full;
    Mounts mounts;
    if (geteuid() != 0 || !mounts.Add(full / "temp", 0, "size=64k"))
        GTEST_SKIP() << "full disk: a tmpfs cannot be mounted here";
    sfxpack::Package package = large;
    package.exitCodes = true;
    how = e2e::Run();
    how.arguments = "-s";
    how.temp = WinePath(full / "temp");
    EXPECT_EQ(RunPackage(full, package, how), 112);  // ERROR_DISK_FULL
    EXPECT_EQ(ReadText(full / "SETUP.LOG"), "Extract failed: return from extract=-10\r\n");
    EXPECT_EQ(ListTree(full / "temp"), Tree{});
}

TEST_F(Status, PayloadOffsetPastTheEndIsABadSize)
{
    sfxpack::Package package = WithLast(MakeEntry("c.bin", 5, 3));
    package.payloadOffset = static_cast<int32_t>(BuiltSize(package) + 1);
    EXPECT_EQ(Silent(package), "This file is not the correct size or is corrupt, and is unusable.\r\n");
    // No removal pass; the working directory, empty, goes at the end of the run.
    EXPECT_EQ(ListTree(dir.path()), ALL_REMOVED);
}

// Interactive runs, driven through the launcher's windows.
class Interactive : public Status {
protected:
    // Starts `package` without switches; the run goes on in the background.
    std::future<int> Start(const sfxpack::Package &package)
    {
        WritePackage(dir / "pkg.exe", package);
        std::filesystem::create_directories(dir / "temp");
        e2e::Run run;
        run.temp = WinePath(dir / "temp");
        run.timeoutMs = 30000;
        std::string exe = dir / "pkg.exe";
        return std::async(std::launch::async, [exe, run] { return RunWine(exe, run); });
    }
    // The text of the launcher's message box once it begins with `prefix`.
    static std::string BoxText(const std::string &prefix)
    {
        for (int i = 0; i < 100; i++) {
            std::string text;
            if (RunTool("winctl", {"-c", "#32770", "-t", CAPTION, "-i", "0xFFFF", "text"}, &text) == 0) {
                while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                    text.pop_back();
                if (text.rfind(prefix, 0) == 0)
                    return text;
            }
            usleep(50000);
        }
        return "no box beginning with " + prefix;
    }
    // Starts `package` titled `title` and waits for the question whether to
    // install it.
    std::future<int> StartAtTheQuestion(sfxpack::Package package, const std::string &title)
    {
        package.productTitle = title;
        std::future<int> run = Start(package);
        EXPECT_EQ(BoxText("This"), "This will install " + title + ". Do you wish to continue?");
        return run;
    }
    static void Press(int button)
    {
        EXPECT_EQ(RunTool("winctl", {"-c", "#32770", "-t", CAPTION, "command", std::to_string(button)}), 0);
    }
};

TEST_F(Interactive, NoToTheQuestionEndsQuietly)
{
    sfxpack::Package package = WithLast(MakeEntry("c.bin", 5, 3));
    package.password = "pw";
    package.exitCodes = true;
    auto run = StartAtTheQuestion(package, "Widget 7");
    Press(IDNO_BUTTON);
    EXPECT_EQ(run.get(), 1602);  // ERROR_INSTALL_USEREXIT
    // No password asked, no message, no removal pass; the working directory,
    // empty, goes at the end of the run.
    EXPECT_EQ(ListTree(dir.path()), (Tree{"pkg.exe", "temp/"}));
}

TEST_F(Interactive, HeldDestinationCannotBeOpened)
{
    auto run = StartAtTheQuestion(WithLast(MakeEntry("held.txt", 5, 3)), "Widget");
    // Another program holds the file for writing: making it empty is allowed
    // beside that, opening it with writes denied is not.
    e2e::Run hold;
    hold.wait = false;
    hold.arguments = "\"" + Working() + "held.txt\" 15000";
    RunWine(ToolPath("holdfile"), hold);
    for (int i = 0; i < 100 && !Exists(dir / "temp/~EXB0000/held.txt"); i++)
        usleep(20000);
    Press(IDYES_BUTTON);
    EXPECT_EQ(BoxText("Could"), "Could not open destination file " + Working() + "held.txt");
    Press(IDOK_BUTTON);
    EXPECT_EQ(BoxText("Extract"), "Extract failed: return from extract=-8");
    Press(IDOK_BUTTON);
    EXPECT_EQ(run.get(), 0);
    // The held file cannot be deleted, so the working directory stays too.
    EXPECT_EQ(ListTree(dir.path()), (Tree{"pkg.exe", "temp/", "temp/~EXB0000/", "temp/~EXB0000/held.txt"}));
}

TEST_F(Interactive, PackageSwappedDuringTheQuestionIsNeverRead)
{
    // Another package of the same header, its last file of other bytes.
    sfxpack::Package package = WithLast(MakeEntry("c.bin", 5000, 3));
    sfxpack::Package other = WithLast(MakeEntry("c.bin", 5000, 4));
    other.productTitle = "Widget";
    auto run = StartAtTheQuestion(package, "Widget");
    // A program of the session may not rename the package while it runs.
    pid_t move = StartWine({"cmd", "/c", "move", WinePath(dir / "pkg.exe"), WinePath(dir / "moved.exe")});
    EXPECT_NE(WaitForExit(move), 0);
    EXPECT_TRUE(Exists(dir / "pkg.exe"));
    // Renamed all the same, as Windows lets a running program be (here past
    // Wine), and another file put at its path: that file is never read.
    std::error_code ignored;
    std::filesystem::rename(dir / "pkg.exe", dir / "moved.exe", ignored);
    WritePackage(dir / "pkg.exe", other);
    Press(IDYES_BUTTON);
    EXPECT_EQ(run.get(), 0);
    EXPECT_EQ(ReadBytes(dir / "temp/~EXB0000/c.bin"), package.entries[2].data);
    EXPECT_EQ(ReadBytes(dir / "temp/~EXB0000/a/b/one.bin"), package.entries[0].data);
}

TEST_F(Interactive, SessionEndDuringTheQuestionRemovesAllAndEndsTheRun)
{
    auto run = StartAtTheQuestion(WithLast(MakeEntry("c.bin", 5, 3)), "Widget");
    // The handler destroys the progress window, whose quit message also ends
    // the question's box: no answer is needed.
    EXPECT_EQ(RunTool("winctl", {"-c", "Progress", "send", "22", "1"}), 0);
    EXPECT_EQ(run.get(), 0);
    // The handler's removal took the working directory; nothing was written
    // after it and no message followed.
    EXPECT_EQ(ListTree(dir.path()), (Tree{"pkg.exe", "temp/"}));
}

TEST_F(Interactive, SessionEndBetweenBlocksRemovesAllAndStops)
{
    // Enough small files that the run is still copying when the message comes.
    sfxpack::Package package;
    for (int i = 0; i < 3000; i++)
        package.entries.push_back(MakeEntry("d" + std::to_string(i % 7) + "\\f" + std::to_string(i), 20000, i));
    auto run = Start(package);
    EXPECT_EQ(RunTool("winctl", {"-c", "Progress", "-v", "wait"}), 0);
    EXPECT_EQ(RunTool("winctl", {"-c", "Progress", "send", "22", "1"}), 0);
    EXPECT_EQ(run.get(), 0);
    EXPECT_EQ(ListTree(dir.path()), (Tree{"pkg.exe", "temp/"}));
}

}  // namespace
