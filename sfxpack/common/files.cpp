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
#include <climits>
#include <csignal>
#include <pthread.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace sfxpack {

namespace {

std::string Reason(int number)
{
    return std::strerror(number);
}

#ifndef _WIN32
// An interrupted run must not leave its temporary behind: on SIGINT, SIGTERM
// or SIGHUP the handler removes it and lets the signal end the process as
// it would have, so that the exit status still tells of the signal. Only
// async-signal-safe calls run there: the name waits in a fixed buffer.
const int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
char pendingTemporary[PATH_MAX];
volatile sig_atomic_t temporaryPending = 0;
struct sigaction savedActions[3];
bool handled[3];

void RemoveTemporaryAndStop(int signal)
{
    if (temporaryPending)
        unlink(pendingTemporary);
    // The action was reset to the default on entry (SA_RESETHAND) and the
    // signal is blocked until this returns: then it ends the process.
    raise(signal);
}

// Holds the three signals off while the temporary and the handlers change.
void BlockStopSignals(bool block)
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : STOP_SIGNALS)
        sigaddset(&set, signal);
    pthread_sigmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// A signal that is ignored (nohup, a background job) stays ignored.
void WatchTemporary(const std::string &temporary)
{
    if (temporary.size() >= sizeof pendingTemporary)
        return;
    std::memcpy(pendingTemporary, temporary.c_str(), temporary.size() + 1);
    temporaryPending = 1;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = RemoveTemporaryAndStop;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; i++) {
        handled[i] = sigaction(STOP_SIGNALS[i], nullptr, &savedActions[i]) == 0 &&
                     savedActions[i].sa_handler != SIG_IGN &&
                     sigaction(STOP_SIGNALS[i], &action, nullptr) == 0;
    }
}

void UnwatchTemporary()
{
    BlockStopSignals(true);
    for (int i = 0; i < 3; i++)
        if (handled[i])
            sigaction(STOP_SIGNALS[i], &savedActions[i], nullptr);
    temporaryPending = 0;
    BlockStopSignals(false);
}
#endif

// Removes the temporary and forgets it.
void RemoveTemporary(const std::string &temporary)
{
    std::error_code ignored;
    fs::remove(fs::u8path(temporary), ignored);
#ifndef _WIN32
    UnwatchTemporary();
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
    BlockStopSignals(true);
#endif
    int fd = OpenFile(*temporary, O_RDWR | O_CREAT | O_EXCL);
    int failure = errno;
#ifndef _WIN32
    if (fd >= 0)
        WatchTemporary(*temporary);
    BlockStopSignals(false);
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
    UnwatchTemporary();
#endif
    return true;
}

}  // namespace sfxpack
