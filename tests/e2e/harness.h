// Support for the end-to-end tests: real packages written with the writer's
// library, the real launcher run under Wine, real files checked afterwards.
#ifndef TESTS_E2E_HARNESS_H
#define TESTS_E2E_HARNESS_H

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sfxpack/writer.h"

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

// Runs `exe` (a Unix path) under Wine through winrun. Returns the exit code,
// or -1 when Wine itself failed.
int RunWine(const std::string &exe, const Run &run);

// Runs the test tool `name` (see ToolPath) straight under Wine, not through
// winrun, with `arguments`; what it prints goes to `output` when given.
// Returns its exit code, or -1 when Wine itself failed.
int RunTool(const std::string &name, const std::vector<std::string> &arguments, std::string *output = nullptr);

// Writes `package` with the built launcher as its stub to `path`.
void WritePackage(const std::string &path, const sfxpack::Package &package);

// Writes `package` as `dir`/pkg.exe and runs it with `run`; without a TEMP of
// its own, TEMP is `dir`/temp, made here. Returns RunWine's result.
int RunPackage(const TempDir &dir, const sfxpack::Package &package, Run run);

// Reads a whole file; empty when missing. Exists tells apart the two.
Bytes ReadBytes(const std::string &path);
std::string ReadText(const std::string &path);
bool Exists(const std::string &path);
void WriteBytes(const std::string &path, const Bytes &bytes);
void WriteText(const std::string &path, const std::string &text);
// Relative paths of every file and directory below `dir`, sorted, with '/'
// separators and a trailing '/' on directories.
std::vector<std::string> ListTree(const std::string &dir);

// Deterministic pseudo-random bytes.
Bytes PatternBytes(size_t size, unsigned seed);

// An MS-DOS date and time from its parts.
uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);

}  // namespace e2e

#endif
