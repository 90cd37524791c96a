// Opening files, whole-file reads, and the temporary file a package is
// written to before it takes its name. Paths are UTF-8; on Windows they go
// through the wide-character calls.
#include "sfxpack/common/files.h"

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

#include "sfxpack/common/partial_file.h"
#endif

namespace fs = std::filesystem;

namespace sfxpack {

namespace {

std::string Reason(int number)
{
    return std::strerror(number);
}

// Removes the temporary and forgets it.
void RemoveTemporary(const std::string &temporary)
{
    std::error_code ignored;
    fs::remove(fs::u8path(temporary), ignored);
#ifndef _WIN32
    ForgetPartialFile();
#endif
}

}  // namespace

int OpenFile(const std::string &path, int flags)
{
#ifdef _WIN32
    return _wopen(fs::u8path(path).wstring().c_str(), flags | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    return open(path.c_str(), flags, 0666);
#endif
}

// At most this much a write call. The kernel caches a larger write in larger
// page-cache blocks, and on a virtual machine that hands free memory back to
// its host those were slow to come by: 1.9 GiB took 1.6 s to 1.9 s in 1 MiB
// writes right after another program's large write, and 0.31 s in 256 KiB.
enum { WRITE_PIECE = 256 << 10 };

int WriteAll(int fd, const unsigned char *data, size_t length)
{
    while (length > 0) {
        unsigned piece = length < WRITE_PIECE ? unsigned(length) : unsigned(WRITE_PIECE);
        auto put = write(fd, data, piece);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return put < 0 ? errno : ENOSPC;
        data += put;
        length -= size_t(put);
    }
    return 0;
}

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

int CreateTemporary(const std::string &path, std::string *temporary, std::string *error)
{
    // In the same folder, so that the rename never crosses file systems.
    *temporary = path + ".tmp" + std::to_string(getpid());
#ifndef _WIN32
    HoldEndingSignals(true);
#endif
    int fd = OpenFile(*temporary, O_RDWR | O_CREAT | O_EXCL);
    int failure = errno;
#ifndef _WIN32
    // An interrupted run must not leave its temporary behind.
    if (fd >= 0)
        NotePartialFile(AT_FDCWD, temporary->c_str());
    HoldEndingSignals(false);
#endif
    if (fd < 0)
        *error = path + ": " + Reason(failure);
    return fd;
}

void DiscardTemporary(int fd, const std::string &temporary)
{
    close(fd);
    RemoveTemporary(temporary);
}

bool FinishTemporary(int fd, const std::string &temporary, const std::string &path, std::string *error)
{
    if (close(fd) != 0) {
        *error = path + ": " + Reason(errno);
        RemoveTemporary(temporary);
        return false;
    }
    std::error_code failure;
    fs::rename(fs::u8path(temporary), fs::u8path(path), failure);
    if (failure) {
        *error = path + ": " + failure.message();
        RemoveTemporary(temporary);
        return false;
    }
#ifndef _WIN32
    // Only now: a signal after the rename finds no temporary to remove.
    ForgetPartialFile();
#endif
    return true;
}

}  // namespace sfxpack
