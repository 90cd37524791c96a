// CRC-32 (the polynomial of zip and PNG), shared by the launcher and the
// package writer. It needs no Windows header and no C runtime.
#ifndef PACKAGE_CRC32_H
#define PACKAGE_CRC32_H

#include <stddef.h>
#include <stdint.h>

// Continues `crc` (0 to start) over `length` bytes; the result is the CRC of
// everything passed so far, so a CRC can be built up piece by piece.
uint32_t Crc32Update(uint32_t crc, const void *data, size_t length);

#endif
