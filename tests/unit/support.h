// Shared by the writer's unit tests: temporary folders, files, the stub and
// the CLI run as a real process.
#ifndef TESTS_UNIT_SUPPORT_H
#define TESTS_UNIT_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "sfxpack/common/codepage.h"
#include "sfxpack/common/dostime.h"
#include "sfxpack/common/files.h"
#include "sfxpack/read/reader.h"
#include "sfxpack/write/create.h"

namespace unit {

namespace fs = std::filesystem;
using sfxpack::Bytes;

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "sfxpack-unit-XXXXXX").string();
        path_ = mkdtemp(&pattern[0]) ? pattern : "";
    }
    ~TempDir()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

inline void WriteFile(const std::string &path, const std::string &content)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline Bytes ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string ReadText(const std::string &path)
{
    Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

inline void WriteBytes(const std::string &path, const Bytes &bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), bytes.size());
}

// The real launcher when it has been built, else the stand-in with the same
// resources.
inline std::string RealLauncher()
{
    const char *dir = std::getenv("SFX_WIN_BUILD_DIR");
    std::string path = std::string(dir ? dir : "") + "/launcher/launcher.exe";
    return dir && fs::exists(path) ? path : "";
}

inline std::string StubPath()
{
#ifdef SFXPACK_TEST_STUB
    if (fs::exists(SFXPACK_TEST_STUB))
        return SFXPACK_TEST_STUB;
#endif
    return RealLauncher();
}

inline Bytes Stub()
{
    std::string path = StubPath();
    EXPECT_FALSE(path.empty()) << "neither the stand-in stub nor the launcher is built";
    return ReadFile(path);
}

struct Result {
    int exitCode = -1;
    std::string out, err;
};

// Runs `program`, the built sfxpack by default, with `args`, in the environment given as
// NAME=VALUE pairs on top of this process's.
inline Result RunCli(const std::vector<std::string> &args, const std::vector<std::string> &environment = {},
                     const std::string &program = SFXPACK_TEST_CLI)
{
    TempDir capture;
    std::string outPath = capture / "out", errPath = capture / "err";
    pid_t child = fork();
    if (child == 0) {
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        for (const std::string &pair : environment)
            putenv(const_cast<char *>(pair.c_str()));
        std::vector<char *> argv{const_cast<char *>(program.c_str())};
        for (const std::string &arg : args)
            argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    Result result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    return result;
}

inline sfxpack::ParsedPackage Parse(const Bytes &bytes)
{
    sfxpack::ParsedPackage parsed;
    std::string error;
    EXPECT_TRUE(sfxpack::ParsePackage(bytes, &parsed, &error)) << error;
    return parsed;
}

}  // namespace unit

#endif
