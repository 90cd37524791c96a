// Files on the build machine: opening, writing whole, temporaries.
#ifndef SFXPACK_COMMON_FILES_H
#define SFXPACK_COMMON_FILES_H

#include <string>

#include "sfxpack/common/bytes.h"

namespace sfxpack {

// Opens by UTF-8 path, in binary mode on Windows; -1 and errno on failure.
int OpenFile(const std::string &path, int flags);
// Writes all of `data` in pieces of at most 256 KiB; 0, or the errno of the
// failed write.
int WriteAll(int fd, const unsigned char *data, size_t length);
bool ReadFileBytes(const std::string &path, Bytes *out, std::string *error);
// A package is written to a temporary file beside `path` and renamed over it
// only when complete, so that no half-written package is ever left there.
// CreateTemporary gives the descriptor, open for reading and writing, and
// its name; FinishTemporary closes and renames it, DiscardTemporary closes
// and removes it. Until then SIGINT, SIGTERM and SIGHUP remove it before
// they end the process (not on Windows). One temporary at a time.
int CreateTemporary(const std::string &path, std::string *temporary, std::string *error);
bool FinishTemporary(int fd, const std::string &temporary, const std::string &path, std::string *error);
void DiscardTemporary(int fd, const std::string &temporary);

}  // namespace sfxpack

#endif
