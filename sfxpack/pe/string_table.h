// A block of the string table: sixteen counted UTF-16 strings, the block
// `id / 16 + 1` holding the strings `id`.
#ifndef SFXPACK_PE_STRING_TABLE_H
#define SFXPACK_PE_STRING_TABLE_H

#include <string>
#include <vector>

#include "sfxpack/common/bytes.h"

namespace sfxpack {

enum : uint16_t { RT_STRING_TYPE = 6, STRINGS_PER_BLOCK = 16 };

// The sixteen strings of a block; false when the data is cut short.
bool ReadStringBlock(const Bytes &data, std::vector<std::u16string> *strings, std::string *error);
// The block's data: each string its length, then its units, no terminator.
Bytes BuildStringBlock(const std::vector<std::u16string> &strings);

}  // namespace sfxpack

#endif
