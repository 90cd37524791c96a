// A real folder packed by the sfxpack command and unpacked by the launcher
// under Wine: every file byte for byte, with its time stamp, silently and
// with the progress window shown; and names in a double-byte code page.
// `sfxpack extract` must unpack the same tree natively. A compressed
// package of Windows programs likewise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "tests/e2e/harness.h"

using namespace e2e;
namespace fs = std::filesystem;

namespace {

// A fixed zone without daylight saving, for the packer and for Wine alike:
// both then read a stored local time the same way on every date.
class FixedZone {
public:
    FixedZone()
    {
        const char *old = std::getenv("TZ");
        saved_ = old ? old : "";
        had_ = old != nullptr;
        setenv("TZ", "UTC-9", 1);
        tzset();
    }
    ~FixedZone()
    {
        if (had_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string saved_;
    bool had_;
};

void SetModificationTime(const std::string &path, time_t when)
{
    auto since = std::chrono::system_clock::from_time_t(when) - std::chrono::system_clock::now();
    fs::last_write_time(path, fs::file_time_type::clock::now() + since);
}

time_t ModificationTime(const std::string &path)
{
    auto time = fs::last_write_time(path);
    auto since = time - fs::file_time_type::clock::now();
    return std::chrono::system_clock::to_time_t(
        std::chrono::system_clock::now() + std::chrono::duration_cast<std::chrono::system_clock::duration>(since));
}

int Pack(const std::string &output, const std::string &folder, const std::string &options)
{
    std::string command = std::string("'") + SFXPACK_TEST_CLI + "' create -o '" + output + "' --stub '" +
                          LauncherStub() + "' " + options + " '" + folder + "' >/dev/null 2>&1";
    return std::system(command.c_str());
}

// `sfxpack extract` of `package` into `folder`: what the launcher unpacks,
// unpacked natively.
int Unpack(const std::string &package, const std::string &folder, const std::string &options)
{
    std::string command = std::string("'") + SFXPACK_TEST_CLI + "' extract '" + package + "' '" + folder + "' " +
                          options + " >/dev/null 2>&1";
    return std::system(command.c_str());
}

// Files of the folder below `root`, by relative path: contents and time.
struct Stored {
    Bytes data;
    time_t time;
};

std::map<std::string, Stored> Snapshot(const std::string &root)
{
    std::map<std::string, Stored> out;
    for (const std::string &name : ListTree(root))
        if (name.back() != '/')
            out[name] = {ReadBytes(root + "/" + name), ModificationTime(root + "/" + name)};
    return out;
}

class RealFolder : public testing::Test {
protected:
    TempDir dir;
    FixedZone zone;

    // Runs the package silently, then with its window shown, each into a
    // new working directory under dir/temp, and unpacks it natively into
    // dir/native; each of the three holds the source's files with their
    // times to the stored two seconds.
    void ExpectUnpackedEverywhere(const std::string &package, const std::string &source,
                                  std::map<std::string, time_t> &times)
    {
        fs::create_directories(dir / "temp");
        e2e::Run silent;
        silent.arguments = "-s";
        silent.temp = WinePath(dir / "temp");
        ASSERT_EQ(RunWine(package, silent), 0);
        EXPECT_EQ(ReadText(dir / "SETUP.LOG"), "");
        e2e::Run shown;
        shown.temp = silent.temp;
        shown.timeoutMs = 120000;
        ASSERT_EQ(RunWine(package, shown), 0);

        ASSERT_EQ(Unpack(package, dir / "native", ""), 0);
        std::map<std::string, Stored> expected = Snapshot(source);
        for (const char *workingDir : {"temp/~EXB0000", "temp/~EXB0001", "native"}) {
            std::map<std::string, Stored> extracted = Snapshot(dir / workingDir);
            ASSERT_EQ(extracted.size(), expected.size()) << workingDir;
            for (const auto &[name, file] : expected) {
                ASSERT_TRUE(extracted.count(name)) << workingDir << " lacks " << name;
                EXPECT_TRUE(extracted[name].data == file.data) << workingDir << "/" << name;
                EXPECT_EQ(extracted[name].time, times[name] & ~time_t(1)) << workingDir << "/" << name;
            }
        }
    }
};

TEST_F(RealFolder, HundredsOfNestedFilesComeOutWithTheirTimes)
{
    // 320 files in 4 levels of folders, sizes around the block boundaries,
    // and three of several MiB.
    std::string source = dir / "product";
    std::map<std::string, time_t> times;
    const size_t sizes[] = {1, 100, 8191, 8192, 8193, 16384, 20000, 65537};
    time_t base = 1262304000;  // 2010-01-01
    for (int i = 0; i < 320; i++) {
        std::string folder = "level" + std::to_string(i % 4);
        for (int depth = 1; depth <= i % 4; depth++)
            folder += "/sub" + std::to_string(depth) + "_" + std::to_string(i % 7);
        std::string name = folder + "/file" + std::to_string(i) + ".dat";
        size_t size = i < 3 ? (2 + i) * 1024 * 1024 + 77 : sizes[i % 8];
        WriteBytes(source + "/" + name, PatternBytes(size, i + 1));
        // Every third file an odd second: stored times have two-second steps.
        times[name] = base + i * 86461 + (i % 3 == 0 ? 1 : 0);
        SetModificationTime(source + "/" + name, times[name]);
    }
    ASSERT_EQ(Pack(dir / "pkg.exe", source, ""), 0);
    ExpectUnpackedEverywhere(dir / "pkg.exe", source, times);
}

TEST_F(RealFolder, CompressedPackageOfWindowsProgramsComesOutWithItsTimes)
{
    // Some of Wine's own Windows programs and libraries, headers, and the
    // launcher itself: a few MB of what an installer holds.
    std::string source = dir / "product";
    std::string wineDir = "/usr/lib/i386-linux-gnu/wine/i386-windows/";
    if (!fs::exists(wineDir))  // where only 64-bit Wine is installed
        wineDir = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/";
    std::map<std::string, time_t> times;
    time_t base = 1577836800;  // 2020-01-01
    int n = 0;
    auto add = [&](const std::string &name, const Bytes &data) {
        WriteBytes(source + "/" + name, data);
        times[name] = base + n * 90061 + (n % 2);
        SetModificationTime(source + "/" + name, times[name]);
        n++;
    };
    for (const char *program : {"kernel32.dll", "cmd.exe", "notepad.exe", "regedit.exe", "msvcrt.dll"}) {
        Bytes data = ReadBytes(wineDir + program);
        ASSERT_FALSE(data.empty()) << wineDir << program;
        add(std::string("bin/") + program, data);
    }
    add("bin/launcher.exe", ReadBytes(LauncherStub()));
    add("include/windows.h", ReadBytes("/usr/share/mingw-w64/include/windows.h"));
    add("include/winbase.h", ReadBytes("/usr/share/mingw-w64/include/winbase.h"));
    add("data/noise.bin", PatternBytes(300000, 7));
    add("one.txt", Bytes{'1'});
    ASSERT_EQ(Pack(dir / "pkg.exe", source, "--compress --exit-codes"), 0);
    ASSERT_EQ(Pack(dir / "stored.exe", source, ""), 0);
    EXPECT_LT(fs::file_size(dir / "pkg.exe"), fs::file_size(dir / "stored.exe") / 2);
    std::string verify = std::string("'") + SFXPACK_TEST_CLI + "' verify '" + dir / "pkg.exe" + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(verify.c_str()), 0);
    ExpectUnpackedEverywhere(dir / "pkg.exe", source, times);
}

TEST_F(RealFolder, DoubleByteNamesKeepTheirFolders)
{
    // In code page 932 the second byte of 表 is 0x5C, the backslash.
    std::string source = dir / "product";
    WriteText(source + "/表/ソフト.txt", "soft");
    WriteText(source + "/データ/表.bin", "table");
    WriteText(source + "/表.txt", "top");
    ASSERT_EQ(Pack(dir / "pkg.exe", source, "--codepage 932 --title 表ソフト"), 0);
    fs::create_directories(dir / "temp");

    e2e::Run run;
    run.arguments = "-s";
    run.temp = WinePath(dir / "temp");
    run.locale = "ja_JP.UTF-8";
    ASSERT_EQ(RunWine(dir / "pkg.exe", run), 0);
    EXPECT_EQ(ReadText(dir / "SETUP.LOG"), "");
    EXPECT_EQ(ListTree(dir / "temp/~EXB0000"), (std::vector<std::string>{"データ/", "データ/表.bin", "表.txt", "表/",
                                                                      "表/ソフト.txt"}));
    EXPECT_EQ(ReadText(dir / "temp/~EXB0000/表/ソフト.txt"), "soft");
    EXPECT_EQ(ReadText(dir / "temp/~EXB0000/データ/表.bin"), "table");
    ASSERT_EQ(Unpack(dir / "pkg.exe", dir / "native", "--codepage 932"), 0);
    EXPECT_EQ(ListTree(dir / "native"), ListTree(dir / "temp/~EXB0000"));
    EXPECT_EQ(ReadText(dir / "native/表/ソフト.txt"), "soft");
}

}  // namespace
