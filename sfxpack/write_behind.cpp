#include "sfxpack/write_behind.h"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace sfxpack {

namespace {

// At most this much a write call. The kernel caches a larger write in larger
// page-cache blocks, and on a virtual machine that hands free memory back to
// its host those were slow to come by: 1.9 GiB took 1.6 s to 1.9 s in 1 MiB
// writes right after another program's large write, and 0.31 s in 256 KiB.
enum { WRITE_PIECE = 256 << 10 };

// Gives 0, or the errno of the failed write.
int WriteAll(int fd, const unsigned char *data, size_t length)
{
    while (length > 0) {
        errno = 0;
        auto put = write(fd, data, static_cast<unsigned>(length < WRITE_PIECE ? length : size_t(WRITE_PIECE)));
        if (put <= 0)
            return errno ? errno : EIO;
        data += put;
        length -= size_t(put);
    }
    return 0;
}

}  // namespace

WriteBehind::WriteBehind(int fd, size_t chunkSize) : fd_(fd), chunkSize_(chunkSize)
{
    for (auto &slot : slots_)
        slot.resize(chunkSize);
    thread_ = std::thread(&WriteBehind::Run, this);
}

WriteBehind::~WriteBehind()
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void WriteBehind::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return written_ < handed_ || closing_; });
        if (written_ == handed_)
            return;
        size_t slot = written_ % SLOTS, length = lengths_[slot];
        bool failed = error_ != 0;
        lock.unlock();
        int failure = failed ? 0 : WriteAll(fd_, slots_[slot].data(), length);
        lock.lock();
        if (failure)
            error_ = failure;
        written_++;
        changed_.notify_all();
    }
}

// Gives the filled buffer to the thread and waits for a free one.
bool WriteBehind::Hand()
{
    std::unique_lock<std::mutex> lock(mutex_);
    lengths_[handed_ % SLOTS] = used_;
    handed_++;
    used_ = 0;
    changed_.notify_all();
    changed_.wait(lock, [this] { return handed_ - written_ < SLOTS; });
    return !error_;
}

unsigned char *WriteBehind::Room(size_t *available)
{
    if (used_ == chunkSize_ && !Hand())
        return nullptr;
    *available = chunkSize_ - used_;
    return slots_[handed_ % SLOTS].data() + used_;
}

bool WriteBehind::Finish()
{
    if (used_ > 0)
        Hand();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    thread_.join();
    return !error_;
}

int WriteBehind::error()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

}  // namespace sfxpack
