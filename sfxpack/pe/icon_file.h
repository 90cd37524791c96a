// Icon files and the icon resources made of them: an icon group
// (RT_GROUP_ICON) lists images kept as RT_ICON resources of their own.
#ifndef SFXPACK_PE_ICON_FILE_H
#define SFXPACK_PE_ICON_FILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "sfxpack/common/bytes.h"

namespace sfxpack {

struct IconImage {
    uint8_t width = 0, height = 0;  // 0 stands for 256
    uint8_t colorCount = 0;
    uint16_t planes = 0, bitCount = 0;
    uint32_t size = 0;  // bytes of the image
    uint16_t id = 0;    // of its RT_ICON resource, in a group
    Bytes data;         // a PNG file, or a bitmap (BITMAPINFOHEADER onwards); empty in a group
};

// Reads an icon file (.ico) whatever sizes and depths it holds, or a PNG
// image of at most 256 x 256 pixels as an icon of that one image. A missing
// plane count or depth is taken from the image itself, since Windows picks
// the image to show by them. The error does not name the file.
bool ReadIconFile(const Bytes &file, std::vector<IconImage> *images, std::string *error);

// The data of an icon group listing `images`, each with its `id` set.
Bytes IconGroupData(const std::vector<IconImage> &images);

// The images an icon group lists, without their data.
bool ReadIconGroup(const Bytes &data, std::vector<IconImage> *images, std::string *error);

}  // namespace sfxpack

#endif
