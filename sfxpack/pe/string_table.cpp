#include "sfxpack/pe/string_table.h"

#include "sfxpack/common/little_endian.h"

namespace sfxpack {

bool ReadStringBlock(const Bytes &data, std::vector<std::u16string> *strings, std::string *error)
{
    strings->assign(STRINGS_PER_BLOCK, std::u16string());
    size_t at = 0;
    for (std::u16string &text : *strings) {
        if (at + 2 > data.size()) {
            *error = "a string table block is cut short";
            return false;
        }
        size_t length = Load16(data.data() + at);
        at += 2;
        if (at + 2 * length > data.size()) {
            *error = "a string table block is cut short";
            return false;
        }
        for (size_t i = 0; i < length; i++, at += 2)
            text.push_back(char16_t(Load16(data.data() + at)));
    }
    return true;
}

Bytes BuildStringBlock(const std::vector<std::u16string> &strings)
{
    Bytes data;
    for (const std::u16string &text : strings) {
        Append16(&data, uint16_t(text.size()));
        for (char16_t unit : text)
            Append16(&data, uint16_t(unit));
    }
    return data;
}

}  // namespace sfxpack
