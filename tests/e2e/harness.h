// Support for the end-to-end tests: real packages written with the writer's
// library, the real launcher run under Wine, real files checked afterwards.
#ifndef TESTS_E2E_HARNESS_H
#define TESTS_E2E_HARNESS_H

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sfxpack/common/files.h"
#include "sfxpack/pe/pe_resource.h"
#include "sfxpack/write/package.h"

namespace e2e {

using sfxpack::Bytes;

std::string SourceDir();
std::string WinBuildDir();
std::string LauncherStub();                   // the built launcher.exe
std::string ToolPath(const std::string &name);  // a test tool, e.g. "winrun"

// Z:\... form of a Unix path, as Wine programs see it.
std::string WinePath(const std::string &unixPath);

// A fresh folder below build/e2e-tmp, removed (with everything in it) at the
// end of the test unless SFX_KEEP_TMP is set.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// tmpfs mounts (root only), taken down again in reverse order.
class Mounts {
public:
    Mounts() = default;
    ~Mounts();
    Mounts(const Mounts &) = delete;
    Mounts &operator=(const Mounts &) = delete;
    // Mounts a tmpfs with `flags` and `options` (e.g. "size=64k") at
    // `point`, made here; false when it cannot be mounted.
    bool Add(const std::string &point, unsigned long flags, const std::string &options);

private:
    std::vector<std::string> points_;
};

struct Run {
    // The launcher's own command line after the program, verbatim.
    std::string arguments;
    // TEMP as the launcher sees it; unset when absent. The default is the
    // Wine form of the test's TempDir "temp" folder, made by RunPackage.
    std::optional<std::string> temp;
    bool removeTemp = false;
    std::map<std::string, std::string> environment;
    std::string currentDir;        // Windows path; empty: the package's folder
    std::string locale;            // LC_ALL for Wine, e.g. "ja_JP.UTF-8"
    bool wait = true;              // false: start and return at once
    // A run still going after this long is ended with exit code 125: a
    // message box that nobody answers must not hang the suite.
    int timeoutMs = 60000;
    // A limit on the size of files that Wine's processes write (RLIMIT_FSIZE),
    // with SIGXFSZ ignored so that a write past it fails instead: a full disk.
    std::optional<unsigned long long> fileSizeLimit;
};

// Exit code of a run that was ended for taking too long.
constexpr int RUN_TIMED_OUT = 125;

// Starts `wine ARGUMENTS...` with standard input and error on /dev/null and
// standard output on `output` (/dev/null when -1). `prepare` runs in the child
// just before Wine starts (limits, locale). Returns the process id, or -1.
pid_t StartWine(const std::vector<std::string> &arguments, int output = -1,
                const std::function<void()> &prepare = {});

// Waits for a process from StartWine: its exit code, or -1 when it could not
// be started or did not exit normally.
int WaitForExit(pid_t process);

// Runs `exe` (a Unix path) under Wine through winrun. Returns the exit code
// whole (all 32 bits, as a Windows parent sees it),
// or -1 when Wine itself failed.
int RunWine(const std::string &exe, const Run &run);

// Runs the test tool `name` (see ToolPath) straight under Wine, not through
// winrun, with `arguments`; what it prints goes to `output` when given.
// Returns its exit code, or -1 when Wine itself failed.
int RunTool(const std::string &name, const std::vector<std::string> &arguments, std::string *output = nullptr);

// Writes `package` with the built launcher as its stub to `path`.
void WritePackage(const std::string &path, const sfxpack::Package &package);

// A test tool under Wine that runs beside the test, its output going to the
// file `output`; waited for when finished or destroyed.
class Background {
public:
    Background(const std::string &tool, const std::vector<std::string> &arguments, const std::string &output);
    ~Background();
    Background(const Background &) = delete;
    Background &operator=(const Background &) = delete;
    // Waits until the output has the line `line` (see ConsoleLines), for at
    // most `ms`.
    bool WaitForLine(const std::string &line, int ms);
    // Waits for the tool to end; the lines of its output.
    std::vector<std::string> Finish();

private:
    std::string output_;
    pid_t pid_ = -1;
};

// Writes `package` as `dir`/pkg.exe and runs it with `run`; without a TEMP of
// its own, TEMP is `dir`/temp, made here. Returns RunWine's result.
int RunPackage(const TempDir &dir, const sfxpack::Package &package, Run run);

// RunPackage, expecting the launcher's only exit code, 0; returns the log it
// left beside the package, `dir`/SETUP.LOG.
std::string RunForLog(const TempDir &dir, const sfxpack::Package &package, Run run);

// A Run whose setup program may be the recorder: TEMP is `dir`/temp and
// RECORDER_DIR is `dir`/records, both made here.
Run RecordingRun(const TempDir &dir);

// Reads a whole file; empty when missing. Exists tells apart the two.
Bytes ReadBytes(const std::string &path);
std::string ReadText(const std::string &path);
bool Exists(const std::string &path);
void WriteBytes(const std::string &path, const Bytes &bytes);
void WriteText(const std::string &path, const std::string &text);
// Relative paths of every file and directory below `dir`, sorted, with '/'
// separators and a trailing '/' on directories.
std::vector<std::string> ListTree(const std::string &dir);

// The lines of `text`, split at each '\n' and otherwise kept whole.
std::vector<std::string> Lines(const std::string &text);
// The lines a Windows console program printed: a '\r' before each '\n' goes.
std::vector<std::string> ConsoleLines(const std::string &text);

// Deterministic pseudo-random bytes.
Bytes PatternBytes(size_t size, unsigned seed);

// An MS-DOS date and time from its parts.
constexpr uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second)
{
    uint32_t date = ((year - 1980) << 9) | (month << 5) | day;
    uint32_t time = (hour << 11) | (minute << 5) | (second / 2);
    return date | (time << 16);
}

// The time stamp of entries whose time the test does not look at.
constexpr uint32_t ENTRY_TIME = DosDateTime(2022, 2, 2, 2, 2, 2);

// A package entry holding `data`, or PatternBytes(size, seed).
sfxpack::Entry MakeEntry(const std::string &name, Bytes data, uint32_t dosDateTime = ENTRY_TIME);
sfxpack::Entry MakeEntry(const std::string &name, size_t size, unsigned seed, uint32_t dosDateTime = ENTRY_TIME);

// The recorder tool's bytes, to be packaged as a setup program.
Bytes RecorderProgram();

}  // namespace e2e

#endif
