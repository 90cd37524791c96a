// Drives that the shared Wine prefix cannot offer: a removable A:, small,
// large, read-only and inode-less drives on tmpfs, and a dangling link in
// the way of a working directory name. They are made in a private copy of
// the prefix, whose own server reads the drive types at its start; the
// Windows test programs then run their DISABLED_PreparedDrives suites there.
#include <gtest/gtest.h>

#include <strings.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/e2e/harness.h"

namespace fs = std::filesystem;

namespace {

// The copied prefix; its server is ended and the copy removed at the end.
class PrivatePrefix {
public:
    explicit PrivatePrefix(const std::string &path) : path_(path) {}
    ~PrivatePrefix()
    {
        std::system(("WINEPREFIX='" + path_ + "' wineserver -k >/dev/null 2>&1").c_str());
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

int RunDisabledSuite(const PrivatePrefix &prefix, const std::string &program, const std::string &output)
{
    std::string exe = e2e::WinBuildDir() + "/tests/" + program + ".exe";
    std::string command = "WINEPREFIX='" + prefix.path() + "' WINEDEBUG=-all wine '" + exe +
                          "' --gtest_also_run_disabled_tests --gtest_filter='DISABLED_PreparedDrives.*' >'" +
                          output + "' 2>&1 </dev/null";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PreparedDrives, WorkingDirAndDirectoryChains)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting the test drives needs root";
    e2e::TempDir tmp;
    e2e::Mounts mounts;
    if (!mounts.Add(tmp / "small", 0, "size=1m"))
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    ASSERT_TRUE(mounts.Add(tmp / "large", 0, "size=5g"));
    ASSERT_TRUE(mounts.Add(tmp / "readonly", MS_RDONLY, "size=64k"));
    ASSERT_TRUE(mounts.Add(tmp / "full", 0, "size=64k,nr_inodes=1"));
    fs::create_directories(tmp / "floppy/temp");
    fs::create_directories(tmp / "dangling");
    fs::create_symlink(tmp / "nowhere", tmp / "dangling/~EXB0000");

    const char *shared = std::getenv("WINEPREFIX");
    ASSERT_TRUE(shared && *shared);
    PrivatePrefix prefix(tmp / "prefix");
    ASSERT_EQ(std::system(("cp -a '" + std::string(shared) + "' '" + prefix.path() + "'").c_str()), 0);
    const std::pair<const char *, const char *> drives[] = {
        {"a:", "floppy"}, {"t:", "small"}, {"g:", "large"},
        {"r:", "readonly"}, {"f:", "full"}, {"d:", "dangling"}};
    for (const auto &[letter, folder] : drives) {
        fs::path link = fs::path(prefix.path()) / "dosdevices" / letter;
        fs::remove(link);
        fs::create_symlink(tmp / folder, link);
    }
    {
        std::ofstream registry(prefix.path() + "/system.reg", std::ios::app);
        registry << "\n[Software\\\\Wine\\\\Drives] 1700000000\n\"a:\"=\"floppy\"\n";
    }

    for (const char *program : {"workdir_test", "dirchain_test"}) {
        std::string output = tmp / (std::string(program) + ".txt");
        int code = RunDisabledSuite(prefix, program, output);
        std::string text = e2e::ReadText(output);
        EXPECT_EQ(code, 0) << text;
        EXPECT_NE(text.find("[  PASSED  ]"), std::string::npos) << text;
        EXPECT_EQ(text.find("[  PASSED  ] 0 tests"), std::string::npos) << text;
        EXPECT_EQ(text.find("[  FAILED  ]"), std::string::npos) << text;
    }
}

// The launcher's own path is read into a full path buffer: a package stored
// deeper than 127 characters still finds its working directory under TEMP.
TEST(RealLauncher, DeepPackagePathFindsTheWorkingDir)
{
    e2e::TempDir dir;
    e2e::Run run = e2e::RecordingRun(dir);
    run.arguments = "-s";
    std::string deep = dir / std::string(150, 'd');
    fs::create_directories(deep);
    ASSERT_GT(e2e::WinePath(deep + "/pkg.exe").size(), 200u);

    sfxpack::Package package;
    package.setupCommand = "Setup.exe";
    package.entries = {e2e::MakeEntry("Setup.exe", e2e::RecorderProgram(), e2e::DosDateTime(2022, 3, 4, 5, 6, 8))};
    e2e::WritePackage(deep + "/pkg.exe", package);

    ASSERT_EQ(e2e::RunWine(deep + "/pkg.exe", run), 0);

    std::string record = e2e::ReadText(dir / "records/Setup.txt");
    std::string expected = "self=" + *run.temp + "\\~EXB0000\\Setup.exe\n";
    size_t at = record.find("self=");
    ASSERT_NE(at, std::string::npos) << record;
    EXPECT_EQ(strncasecmp(record.c_str() + at, expected.c_str(), expected.size()), 0) << record;
    EXPECT_EQ(e2e::ListTree(dir / "temp"), std::vector<std::string>{});
}

// Code page 1252 has no Cyrillic letters: TEMP below "Миша" and a package
// kept in "Загрузки" are reached by their short forms, never by a path in
// which '?' stands for what the code page lacks.
TEST(RealLauncher, FoldersNamedOutsideTheAnsiCodePage)
{
    e2e::TempDir dir;
    e2e::Run run = e2e::RecordingRun(dir);
    run.arguments = "-s";
    run.locale = "C.UTF-8";
    std::string temp = dir / "temp/Миша/Temp";
    fs::create_directories(temp);
    run.temp = e2e::WinePath(temp);

    sfxpack::Package package;
    package.setupCommand = "Setup.exe";
    package.entries = {e2e::MakeEntry("DATA.TXT", 10, 1), e2e::MakeEntry("Setup.exe", e2e::RecorderProgram())};
    ASSERT_EQ(e2e::RunPackage(dir, package, run), 0);
    EXPECT_EQ(e2e::ReadText(dir / "SETUP.LOG"), "");
    // The setup program ran from below that TEMP and found its files there.
    std::string record = e2e::ReadText(dir / "records/Setup.txt");
    EXPECT_EQ(record.find('?'), std::string::npos) << record;
    EXPECT_NE(record.find("\\~EXB0000\\Setup.exe -s -sms\n"), std::string::npos) << record;
    EXPECT_NE(record.find("\\~EXB0000\\Setup.exe\nfile=DATA.TXT\nfile=Setup.exe\n"), std::string::npos) << record;
    EXPECT_EQ(e2e::ListTree(dir / "temp"), (std::vector<std::string>{"Миша/", "Миша/Temp/"}));

    // A package kept in such a folder opens itself by its Unicode path and
    // writes its silent log beside itself: an empty one, for a run that went
    // through.
    std::string kept = dir / "Загрузки";
    fs::create_directories(kept);
    fs::create_directories(dir / "ascii-temp");
    run.temp = e2e::WinePath(dir / "ascii-temp");
    e2e::WritePackage(kept + "/pkg.exe", package);
    ASSERT_EQ(e2e::RunWine(kept + "/pkg.exe", run), 0);
    EXPECT_EQ(e2e::ReadText(kept + "/SETUP.LOG"), "");
    EXPECT_EQ(e2e::ListTree(dir / "ascii-temp"), std::vector<std::string>{});
}

}  // namespace

