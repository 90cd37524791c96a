// Random-access reading of a package piece by piece, from a file or from
// bytes in memory, so that no command ever holds a whole package.
#ifndef SFXPACK_SOURCE_H
#define SFXPACK_SOURCE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sfxpack {

class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t Size() const = 0;
    // Exactly `length` bytes at `offset`. Callers check the range against
    // Size() first, so a failure here is an input/output error.
    virtual bool Read(uint64_t offset, void *buffer, size_t length, std::string *error) = 0;

    using PieceSink = std::function<bool(const unsigned char *data, size_t length, std::string *error)>;
    // Passes the `length` bytes at `offset` to `take` piece by piece, in
    // order; here read into a buffer of 256 KiB, which stays in the
    // processor's cache between the read and `take`.
    virtual bool Stream(uint64_t offset, uint64_t length, const PieceSink &take, std::string *error);
};

class MemorySource : public Source {
public:
    explicit MemorySource(const std::vector<unsigned char> &bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool Read(uint64_t offset, void *buffer, size_t length, std::string *error) override;
    bool Stream(uint64_t offset, uint64_t length, const PieceSink &take, std::string *error) override;

private:
    const std::vector<unsigned char> &bytes_;
};

// Reads of up to a window's length are served from a 64 KiB read-ahead
// window, so that walking many small entries costs few system calls;
// longer reads go straight into the caller's buffer.
class FileSource : public Source {
public:
    FileSource() = default;
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;
    ~FileSource() override;
    // `path` in UTF-8. The error is "PATH: reason".
    bool Open(const std::string &path, std::string *error);
    uint64_t Size() const override { return size_; }
    bool Read(uint64_t offset, void *buffer, size_t length, std::string *error) override;
#ifndef _WIN32
    // Lengths of 4 MiB or more are mapped in windows of 64 MiB instead of
    // copied: verify then costs less than a plain read of the file. A file
    // cut short by someone else while it is mapped raises SIGBUS, which the
    // command reports.
    bool Stream(uint64_t offset, uint64_t length, const PieceSink &take, std::string *error) override;
#endif

private:
    enum { WINDOW_SIZE = 65536 };
    bool ReadDirect(uint64_t offset, void *buffer, size_t length, std::string *error);

    int fd_ = -1;
    uint64_t size_ = 0;
    std::string path_;
    std::vector<unsigned char> window_;
    uint64_t windowStart_ = 0;
    size_t windowLength_ = 0;
};

}  // namespace sfxpack

#endif
