#include "sfxpack/write/write_behind.h"

#include "sfxpack/common/files.h"

namespace sfxpack {

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
