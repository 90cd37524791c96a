// Bytes of a file or package held in memory.
#ifndef SFXPACK_COMMON_BYTES_H
#define SFXPACK_COMMON_BYTES_H

#include <vector>

namespace sfxpack {

using Bytes = std::vector<unsigned char>;

}  // namespace sfxpack

#endif
