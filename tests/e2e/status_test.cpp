// Each way an extraction fails, reached on purpose with a real package under
// Wine: the exact messages in their order, and what is left on disk once the
// removal pass (where there is one) has run.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <unistd.h>

#include "tests/e2e/harness.h"

using namespace e2e;
using Tree = std::vector<std::string>;

namespace {

const std::string CAPTION = "Tollivex Self-extracting EXE";
const int IDOK_BUTTON = 1, IDYES_BUTTON = 6, IDNO_BUTTON = 7;
const Tree LEFT_EMPTY = {"SETUP.LOG", "pkg.exe", "temp/", "temp/~EXB0000/"};
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
    // removal walk ends at the same place, so the working directory stays.
    EXPECT_EQ(Silent(CutTo(package, whole - 300 - 8 - 4)), "Extract failed: return from extract=-6\r\n");
    EXPECT_EQ(ListTree(dir.path()), LEFT_EMPTY);

    // Inside its size field: the file was made, and removal deletes it before
    // it fails on the same field.
    TempDir other;
    e2e::Run run;
    run.arguments = "-s";
    EXPECT_EQ(RunForLog(other, CutTo(package, whole - 300 - 2), run), "Extract failed: return from extract=-6\r\n");
    EXPECT_EQ(ListTree(other.path()), LEFT_EMPTY);
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
        EXPECT_EQ(ListTree(run.path()), LEFT_EMPTY) << size;
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

TEST_F(Status, PayloadOffsetPastTheEndIsABadSize)
{
    sfxpack::Package package = WithLast(MakeEntry("c.bin", 5, 3));
    package.payloadOffset = static_cast<int32_t>(BuiltSize(package) + 1);
    EXPECT_EQ(Silent(package), "This file is not the correct size or is corrupt, and is unusable.\r\n");
    EXPECT_EQ(ListTree(dir.path()), LEFT_EMPTY);
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
    auto run = StartAtTheQuestion(package, "Widget 7");
    Press(IDNO_BUTTON);
    EXPECT_EQ(run.get(), 0);
    // No password asked, no message, no removal pass: the working directory
    // stays, empty.
    EXPECT_EQ(ListTree(dir.path()), (Tree{"pkg.exe", "temp/", "temp/~EXB0000/"}));
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

TEST_F(Interactive, PackageGoneAfterStartCannotBeOpened)
{
    auto run = StartAtTheQuestion(WithLast(MakeEntry("c.bin", 5, 3)), "Widget");
    // A running executable can be renamed; its own path then names nothing.
    std::filesystem::rename(dir / "pkg.exe", dir / "moved.exe");
    Press(IDYES_BUTTON);
    EXPECT_EQ(BoxText("Extract"), "Extract failed: return from extract=-4");
    Press(IDOK_BUTTON);
    EXPECT_EQ(run.get(), 0);
    // Removal cannot open it either.
    EXPECT_EQ(ListTree(dir.path()), (Tree{"moved.exe", "temp/", "temp/~EXB0000/"}));
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
