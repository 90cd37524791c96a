// Little-endian integers in bytes: the package, PE images, icon files and
// version resources all store theirs so. Callers check the range first.
#ifndef SFXPACK_COMMON_LITTLE_ENDIAN_H
#define SFXPACK_COMMON_LITTLE_ENDIAN_H

#include <cstddef>
#include <cstdint>

#include "sfxpack/common/bytes.h"

namespace sfxpack {

inline uint32_t Load16(const unsigned char *at)
{
    return at[0] | at[1] << 8;
}

inline uint32_t Load32(const unsigned char *at)
{
    return Load16(at) | Load16(at + 2) << 16;
}

inline uint32_t Load16(const Bytes &bytes, size_t at)
{
    return Load16(&bytes[at]);
}

inline uint32_t Load32(const Bytes &bytes, size_t at)
{
    return Load32(&bytes[at]);
}

inline void Store16(Bytes *bytes, size_t at, uint32_t value)
{
    (*bytes)[at] = static_cast<unsigned char>(value);
    (*bytes)[at + 1] = static_cast<unsigned char>(value >> 8);
}

inline void Store32(Bytes *bytes, size_t at, uint32_t value)
{
    Store16(bytes, at, value & 0xFFFF);
    Store16(bytes, at + 2, value >> 16);
}

inline void Append16(Bytes *bytes, uint32_t value)
{
    bytes->push_back(static_cast<unsigned char>(value));
    bytes->push_back(static_cast<unsigned char>(value >> 8));
}

inline void Append32(Bytes *bytes, uint32_t value)
{
    Append16(bytes, value & 0xFFFF);
    Append16(bytes, value >> 16);
}

}  // namespace sfxpack

#endif
