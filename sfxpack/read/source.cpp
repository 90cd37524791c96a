#include "sfxpack/read/source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace sfxpack {

bool Source::Stream(uint64_t offset, uint64_t length, const PieceSink &take, std::string *error)
{
    const size_t PIECE_SIZE = 256 * 1024;
    std::vector<unsigned char> piece(length < PIECE_SIZE ? size_t(length) : PIECE_SIZE);
    for (uint64_t done = 0; done < length;) {
        size_t size = length - done < PIECE_SIZE ? size_t(length - done) : PIECE_SIZE;
        if (!Read(offset + done, piece.data(), size, error) || !take(piece.data(), size, error))
            return false;
        done += size;
    }
    return true;
}

bool MemorySource::Stream(uint64_t offset, uint64_t length, const PieceSink &take, std::string *error)
{
    if (offset > bytes_.size() || length > bytes_.size() - offset) {
        *error = "read past the end at offset " + std::to_string(offset);
        return false;
    }
    return length == 0 || take(bytes_.data() + offset, size_t(length), error);
}

bool MemorySource::Read(uint64_t offset, void *buffer, size_t length, std::string *error)
{
    if (offset > bytes_.size() || length > bytes_.size() - offset) {
        *error = "read past the end at offset " + std::to_string(offset);
        return false;
    }
    if (length)
        std::memcpy(buffer, bytes_.data() + offset, length);
    return true;
}

FileSource::~FileSource()
{
    if (fd_ >= 0)
        close(fd_);
}

bool FileSource::Open(const std::string &path, std::string *error)
{
    path_ = path;
#ifdef _WIN32
    fd_ = _wopen(std::filesystem::u8path(path).wstring().c_str(), _O_RDONLY | _O_BINARY);
    struct _stati64 status;
    bool sized = fd_ >= 0 && _fstati64(fd_, &status) == 0;
#else
    fd_ = open(path.c_str(), O_RDONLY);
    struct stat status;
    bool sized = fd_ >= 0 && fstat(fd_, &status) == 0;
#endif
    if (!sized || !S_ISREG(status.st_mode)) {
        *error = path + ": " + (sized ? "not a regular file" : std::strerror(errno));
        return false;
    }
    size_ = status.st_size;
    return true;
}

bool FileSource::ReadDirect(uint64_t offset, void *buffer, size_t length, std::string *error)
{
    unsigned char *to = static_cast<unsigned char *>(buffer);
    while (length > 0) {
        unsigned chunk = length < (1u << 30) ? unsigned(length) : (1u << 30);
#ifdef _WIN32
        long long got = _lseeki64(fd_, offset, SEEK_SET) < 0 ? -1 : _read(fd_, to, chunk);
#else
        ssize_t got = pread(fd_, to, chunk, off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
#endif
        if (got <= 0) {
            *error = path_ + ": reading " + std::to_string(length) + " bytes at offset " + std::to_string(offset) +
                     ": " + (got < 0 ? std::strerror(errno) : "the file has become shorter");
            return false;
        }
        to += got;
        offset += got;
        length -= got;
    }
    return true;
}

bool FileSource::Read(uint64_t offset, void *buffer, size_t length, std::string *error)
{
    if (length > WINDOW_SIZE)
        return ReadDirect(offset, buffer, length, error);
    if (offset < windowStart_ || offset - windowStart_ > windowLength_ ||
        length > windowLength_ - (offset - windowStart_)) {
        window_.resize(WINDOW_SIZE);
        uint64_t left = offset < size_ ? size_ - offset : 0;
        size_t fill = left < WINDOW_SIZE ? size_t(left) : size_t(WINDOW_SIZE);
        windowStart_ = offset;
        windowLength_ = 0;
        if (fill < length)
            fill = length;
        if (!ReadDirect(offset, window_.data(), fill, error))
            return false;
        windowLength_ = fill;
    }
    std::memcpy(buffer, window_.data() + (offset - windowStart_), length);
    return true;
}

#ifndef _WIN32
bool FileSource::Stream(uint64_t offset, uint64_t length, const PieceSink &take, std::string *error)
{
    // Mapping costs more than copying for small lengths.
    const uint64_t MAP_MIN = 4 << 20, MAP_WINDOW = 64 << 20, page = uint64_t(sysconf(_SC_PAGESIZE));
    if (length < MAP_MIN)
        return Source::Stream(offset, length, take, error);
    for (uint64_t done = 0; done < length;) {
        uint64_t at = offset + done, start = at - at % page;
        uint64_t size = std::min<uint64_t>(length - done, MAP_WINDOW);
        size_t mapped = size_t(at - start + size);
        void *view = mmap(nullptr, mapped, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd_, off_t(start));
        if (view == MAP_FAILED) {
            *error = path_ + ": mapping " + std::to_string(size) + " bytes at offset " + std::to_string(at) + ": " +
                     std::strerror(errno);
            return false;
        }
        bool ok = take(static_cast<const unsigned char *>(view) + (at - start), size_t(size), error);
        munmap(view, mapped);
        if (!ok)
            return false;
        done += size;
    }
    return true;
}
#endif

}  // namespace sfxpack
