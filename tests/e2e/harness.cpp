#include "tests/e2e/harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace e2e {

static std::string Env(const char *name, const char *fallback)
{
    const char *value = std::getenv(name);
    return value && *value ? value : fallback;
}

std::string SourceDir() { return Env("SFX_SOURCE_DIR", "."); }
std::string WinBuildDir() { return Env("SFX_WIN_BUILD_DIR", "build/win"); }
std::string LauncherStub() { return WinBuildDir() + "/launcher/launcher.exe"; }
std::string ToolPath(const std::string &name) { return WinBuildDir() + "/tools/" + name + ".exe"; }

std::string WinePath(const std::string &unixPath)
{
    std::string absolute = fs::absolute(unixPath).lexically_normal().string();
    std::string out = "Z:";
    for (char c : absolute)
        out += c == '/' ? '\\' : c;
    return out;
}

TempDir::TempDir()
{
    fs::path root = fs::path(SourceDir()) / "build" / "e2e-tmp";
    fs::create_directories(root);
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    std::string base = info ? std::string(info->test_suite_name()) + "." + info->name() : "tmp";
    std::replace(base.begin(), base.end(), '/', '_');
    for (int i = 0;; i++) {
        fs::path candidate = root / (base + "." + std::to_string(getpid()) + "." + std::to_string(i));
        if (fs::create_directory(candidate)) {
            path_ = candidate.string();
            break;
        }
    }
}

TempDir::~TempDir()
{
    if (std::getenv("SFX_KEEP_TMP"))
        return;
    std::error_code ignored;
    // Wine may have made files read-only; make them writable before removal.
    for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

Mounts::~Mounts()
{
    for (auto it = points_.rbegin(); it != points_.rend(); ++it)
        umount2(it->c_str(), MNT_DETACH);
}

bool Mounts::Add(const std::string &point, unsigned long flags, const std::string &options)
{
    fs::create_directories(point);
    if (mount("tmpfs", point.c_str(), "tmpfs", flags, options.c_str()) != 0)
        return false;
    points_.push_back(point);
    return true;
}

pid_t StartWine(const std::vector<std::string> &arguments, int output, const std::function<void()> &prepare)
{
    std::vector<std::string> args = {"wine"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        // Wine's server and services may outlive the run and inherit its
        // output: never a pipe that somebody waits on.
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(output < 0 ? null : output, 1);
        dup2(null, 2);
        if (prepare)
            prepare();
        execvp("wine", argv.data());
        _exit(127);
    }
    return child;
}

int WaitForExit(pid_t process)
{
    int status = 0;
    if (process < 0 || waitpid(process, &status, 0) != process || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// winrun's exit code when it cannot start the program.
constexpr int WINRUN_CANNOT_START = 123;

int RunWine(const std::string &exe, const Run &run)
{
    std::vector<std::string> args = {ToolPath("winrun")};
    if (run.removeTemp) {
        args.push_back("-u");
        args.push_back("TEMP");
    } else if (run.temp) {
        args.push_back("-e");
        args.push_back("TEMP=" + *run.temp);
    }
    for (const auto &[name, value] : run.environment) {
        args.push_back("-e");
        args.push_back(name + "=" + value);
    }
    std::string dir = run.currentDir.empty() ? WinePath(fs::path(exe).parent_path().string()) : run.currentDir;
    args.push_back("-d");
    args.push_back(dir);
    if (!run.wait)
        args.push_back("-n");
    args.push_back("-t");
    args.push_back(std::to_string(run.timeoutMs));
    args.push_back("-c");
    std::string line = "\"" + WinePath(exe) + "\"";
    if (!run.arguments.empty())
        line += " " + run.arguments;
    args.push_back(line);

    auto prepare = [&run] {
        if (run.fileSizeLimit) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {*run.fileSizeLimit, *run.fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (!run.locale.empty()) {
            setenv("LC_ALL", run.locale.c_str(), 1);
            setenv("LANG", run.locale.c_str(), 1);
        }
    };
    // winrun prints the exit code whole: a Unix exit status keeps only its
    // low 8 bits, and the launcher's codes go up to 1632.
    char outputPath[] = "/tmp/sfx-winrun-XXXXXX";
    int output = mkstemp(outputPath);
    if (output < 0)
        return -1;
    // Seen once in a fresh prefix: Wine refused to start a program that
    // started at once on the next try. No test here is about winrun's own
    // start, so such a refusal gets one more try.
    int code = WaitForExit(StartWine(args, output, prepare));
    if (code == WINRUN_CANNOT_START)
        code = WaitForExit(StartWine(args, output, prepare));
    close(output);
    std::string printed = ReadText(outputPath);
    unlink(outputPath);
    if (code >= 0 && run.wait && !printed.empty())
        code = static_cast<int>(std::strtoul(printed.c_str(), nullptr, 10));
    return code;
}

int RunTool(const std::string &name, const std::vector<std::string> &arguments, std::string *output)
{
    char outputPath[] = "/tmp/sfx-tool-XXXXXX";
    int outputFile = mkstemp(outputPath);
    if (outputFile < 0)
        return -1;
    std::vector<std::string> args = {ToolPath(name)};
    args.insert(args.end(), arguments.begin(), arguments.end());
    pid_t child = StartWine(args, outputFile);
    close(outputFile);
    int code = WaitForExit(child);
    if (output)
        *output = ReadText(outputPath);
    unlink(outputPath);
    return code;
}

Background::Background(const std::string &tool, const std::vector<std::string> &arguments,
                       const std::string &output)
    : output_(output)
{
    int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> args = {ToolPath(tool)};
    args.insert(args.end(), arguments.begin(), arguments.end());
    pid_ = StartWine(args, out);
    if (out >= 0)
        close(out);
}

Background::~Background()
{
    if (pid_ > 0)
        Finish();
}

bool Background::WaitForLine(const std::string &line, int ms)
{
    for (int waited = 0; waited < ms; waited += 20) {
        for (const std::string &seen : ConsoleLines(ReadText(output_)))
            if (seen == line)
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::vector<std::string> Background::Finish()
{
    WaitForExit(pid_);
    pid_ = -1;
    return ConsoleLines(ReadText(output_));
}

void WritePackage(const std::string &path, const sfxpack::Package &package)
{
    Bytes stub, out;
    std::string error;
    ASSERT_TRUE(sfxpack::ReadFileBytes(LauncherStub(), &stub, &error)) << error;
    ASSERT_TRUE(sfxpack::BuildPackage(stub, package, &out, &error)) << error;
    WriteBytes(path, out);
}

int RunPackage(const TempDir &dir, const sfxpack::Package &package, Run run)
{
    WritePackage(dir / "pkg.exe", package);
    if (!run.temp && !run.removeTemp) {
        fs::create_directories(dir / "temp");
        run.temp = WinePath(dir / "temp");
    }
    return RunWine(dir / "pkg.exe", run);
}

std::string RunForLog(const TempDir &dir, const sfxpack::Package &package, Run run)
{
    EXPECT_EQ(RunPackage(dir, package, run), 0);
    return ReadText(dir / "SETUP.LOG");
}

Run RecordingRun(const TempDir &dir)
{
    fs::create_directories(dir / "temp");
    fs::create_directories(dir / "records");
    Run run;
    run.temp = WinePath(dir / "temp");
    run.environment["RECORDER_DIR"] = WinePath(dir / "records");
    return run;
}

Bytes ReadBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string &path)
{
    Bytes b = ReadBytes(path);
    return std::string(b.begin(), b.end());
}

bool Exists(const std::string &path)
{
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

void WriteBytes(const std::string &path, const Bytes &bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

void WriteText(const std::string &path, const std::string &text)
{
    WriteBytes(path, Bytes(text.begin(), text.end()));
}

std::vector<std::string> ListTree(const std::string &dir)
{
    std::vector<std::string> out;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(dir, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        std::string rel = fs::relative(it->path(), dir).generic_string();
        out.push_back(it->is_directory() ? rel + "/" : rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::vector<std::string> ConsoleLines(const std::string &text)
{
    std::vector<std::string> out = Lines(text);
    for (std::string &line : out)
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    return out;
}

Bytes PatternBytes(size_t size, unsigned seed)
{
    Bytes out(size);
    uint32_t x = seed * 2654435761u + 12345;
    for (size_t i = 0; i < size; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<unsigned char>(x);
    }
    return out;
}

sfxpack::Entry MakeEntry(const std::string &name, Bytes data, uint32_t dosDateTime)
{
    sfxpack::Entry entry;
    entry.name = name;
    entry.data = std::move(data);
    entry.dosDateTime = dosDateTime;
    return entry;
}

sfxpack::Entry MakeEntry(const std::string &name, size_t size, unsigned seed, uint32_t dosDateTime)
{
    return MakeEntry(name, PatternBytes(size, seed), dosDateTime);
}

Bytes RecorderProgram() { return ReadBytes(ToolPath("recorder")); }

}  // namespace e2e
