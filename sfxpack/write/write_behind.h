// Writes a file's bytes on a second thread, in order, while the caller fills
// the next buffer: reading the sources and copying into the file's pages then
// run side by side, each on a processor of its own.
#ifndef SFXPACK_WRITE_BEHIND_H
#define SFXPACK_WRITE_BEHIND_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace sfxpack {

class WriteBehind {
public:
    // Buffers of `chunkSize` bytes, `SLOTS` of them: the memory held.
    WriteBehind(int fd, size_t chunkSize);
    ~WriteBehind();
    WriteBehind(const WriteBehind &) = delete;
    WriteBehind &operator=(const WriteBehind &) = delete;

    // Free room in the buffer being filled, at least one byte; null once a
    // write has failed.
    unsigned char *Room(size_t *available);
    // The next `length` bytes of the room now hold data.
    void Use(size_t length) { used_ += length; }
    // Writes what is left and waits for the thread. False when a write
    // failed: its errno is in error().
    bool Finish();
    int error();

private:
    enum { SLOTS = 4 };
    bool Hand();
    void Run();

    int fd_;
    size_t chunkSize_;
    std::vector<unsigned char> slots_[SLOTS];
    size_t used_ = 0;  // in the slot being filled, slot handed_ % SLOTS

    std::mutex mutex_;
    std::condition_variable changed_;
    size_t lengths_[SLOTS] = {};
    uint64_t handed_ = 0;   // buffers given to the thread
    uint64_t written_ = 0;  // buffers it has written (or dropped after a failure)
    int error_ = 0;         // errno of the first failed write
    bool closing_ = false;
    std::thread thread_;
};

}  // namespace sfxpack

#endif
