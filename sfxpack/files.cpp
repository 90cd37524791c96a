// Whole-file reads and the atomic write of a finished package. Paths are
// UTF-8; on Windows they go through the wide-character calls.
#include "sfxpack/writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace sfxpack {

namespace {

std::string Reason(int number)
{
    return std::strerror(number);
}

int OpenFile(const std::string &path, int flags)
{
#ifdef _WIN32
    return _wopen(fs::u8path(path).wstring().c_str(), flags | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    return open(path.c_str(), flags, 0666);
#endif
}

}  // namespace

bool ReadFileBytes(const std::string &path, Bytes *out, std::string *error)
{
    int fd = OpenFile(path, O_RDONLY);
    if (fd < 0) {
        *error = path + ": " + Reason(errno);
        return false;
    }
    Bytes bytes;
    unsigned char buffer[65536];
    for (;;) {
        auto got = read(fd, buffer, sizeof buffer);
        if (got < 0) {
            *error = path + ": " + Reason(errno);
            close(fd);
            return false;
        }
        if (got == 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    close(fd);
    *out = std::move(bytes);
    return true;
}

bool WriteFileAtomically(const std::string &path, const Bytes &bytes, std::string *error)
{
    // In the same folder, so that the rename never crosses file systems.
    std::string temporary = path + ".tmp" + std::to_string(getpid());
    int fd = OpenFile(temporary, O_WRONLY | O_CREAT | O_EXCL);
    if (fd < 0) {
        *error = temporary + ": " + Reason(errno);
        return false;
    }
    size_t written = 0;
    errno = 0;
    while (written < bytes.size()) {
        size_t chunk = bytes.size() - written < (1u << 30) ? bytes.size() - written : (1u << 30);
        auto put = write(fd, bytes.data() + written, static_cast<unsigned>(chunk));
        if (put <= 0)
            break;
        written += put;
    }
    int writeError = written < bytes.size() ? (errno ? errno : EIO) : 0;
    if (close(fd) != 0 && !writeError)
        writeError = errno;
    if (writeError) {
        *error = path + ": " + Reason(writeError);
        std::error_code ignored;
        fs::remove(fs::u8path(temporary), ignored);
        return false;
    }
    std::error_code failure;
    fs::rename(fs::u8path(temporary), fs::u8path(path), failure);
    if (failure) {
        *error = path + ": " + failure.message();
        std::error_code ignored;
        fs::remove(fs::u8path(temporary), ignored);
        return false;
    }
    return true;
}

}  // namespace sfxpack
