// An .ico file is ICONDIR (reserved 0, type 1, count) and one 16-byte
// ICONDIRENTRY per image, which gives the image's offset in the file; an
// icon group is the same header with 14-byte entries that give a resource
// id instead.
#include "sfxpack/pe/icon_file.h"

#include <cstring>

#include "sfxpack/common/little_endian.h"

namespace sfxpack {

namespace {

enum { HEADER_SIZE = 6, FILE_ENTRY_SIZE = 16, GROUP_ENTRY_SIZE = 14, BITMAP_HEADER_SIZE = 40, MAX_SIDE = 256 };
const unsigned char PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t BigEndian32(const unsigned char *b) { return uint32_t(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3]; }


bool Fail(std::string *error, const std::string &why)
{
    *error = why;
    return false;
}

bool IsPng(const Bytes &data)
{
    return data.size() >= sizeof PNG_SIGNATURE && std::memcmp(data.data(), PNG_SIGNATURE, sizeof PNG_SIGNATURE) == 0;
}

// A PNG's size and depth from its first chunk, IHDR: width and height
// (big-endian), bit depth, colour type (0 grey, 2 RGB, 3 palette, 4 grey
// and alpha, 6 RGBA).
bool ReadPngHeader(const Bytes &png, uint32_t *width, uint32_t *height, uint16_t *bitCount)
{
    if (png.size() < 8 + 8 + 13 || BigEndian32(&png[8]) != 13 || std::memcmp(&png[12], "IHDR", 4) != 0)
        return false;
    *width = BigEndian32(&png[16]);
    *height = BigEndian32(&png[20]);
    static const uint16_t channels[7] = {1, 0, 3, 1, 2, 0, 4};
    unsigned depth = png[24], type = png[25];
    *bitCount = uint16_t(depth * (type < 7 ? channels[type] : 0));
    return *bitCount != 0;
}

std::string Size(int64_t width, int64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

// Whether an image's data is what Windows can draw as an icon image: a PNG
// of 1 to 256 pixels a side, or a bitmap (BITMAPINFOHEADER, uncompressed,
// its height counting the colour rows and the mask's) whose header agrees
// with its bytes. `bitCount` gets its depth.
bool CheckImage(const Bytes &data, uint16_t *bitCount, std::string *why)
{
    int64_t width, height;
    if (IsPng(data)) {
        uint32_t pngWidth, pngHeight;
        if (!ReadPngHeader(data, &pngWidth, &pngHeight, bitCount))
            return Fail(why, "cut short or damaged: a PNG without its image header");
        width = pngWidth;
        height = pngHeight;
        if (width == 0 || height == 0 || width > MAX_SIDE || height > MAX_SIDE)
            return Fail(why, "a PNG of " + Size(width, height) + "; an icon image is at most 256 x 256");
        return true;
    }
    if (data.size() < BITMAP_HEADER_SIZE || Load32(data.data()) != BITMAP_HEADER_SIZE)
        return Fail(why, "neither a PNG nor a bitmap");
    width = int32_t(Load32(&data[4]));
    height = int32_t(Load32(&data[8])) / 2;
    *bitCount = uint16_t(Load16(&data[14]));
    uint32_t compression = Load32(&data[16]), colorsUsed = Load32(&data[32]);
    if (width <= 0 || height <= 0 || width > MAX_SIDE || height > MAX_SIDE)
        return Fail(why, "a bitmap of " + Size(width, height) + "; an icon image is at most 256 x 256");
    if (*bitCount != 1 && *bitCount != 4 && *bitCount != 8 && *bitCount != 16 && *bitCount != 24 && *bitCount != 32)
        return Fail(why, "a bitmap of " + std::to_string(*bitCount) + " bits per pixel");
    if (compression != 0)
        return Fail(why, "a compressed bitmap, which icons do not hold");
    uint64_t palette = *bitCount > 8 ? 0 : uint64_t(colorsUsed ? colorsUsed : 1u << *bitCount) * 4;
    uint64_t colorRows = (uint64_t(width) * *bitCount + 31) / 32 * 4, maskRows = (uint64_t(width) + 31) / 32 * 4;
    uint64_t needed = BITMAP_HEADER_SIZE + palette + (colorRows + maskRows) * uint64_t(height);
    if (data.size() < needed)
        return Fail(why, "a bitmap of " + Size(width, height) + " at " + std::to_string(*bitCount) +
                             " bits needs " + std::to_string(needed) + " bytes, and the image has " +
                             std::to_string(data.size()));
    return true;
}

// The fields that an icon file's directory entry and an icon group's entry
// share, in the same places: only the last four bytes differ.
IconImage ImageFields(const unsigned char *entry)
{
    IconImage image;
    image.width = entry[0];
    image.height = entry[1];
    image.colorCount = entry[2];
    image.planes = uint16_t(Load16(entry + 4));
    image.bitCount = uint16_t(Load16(entry + 6));
    image.size = Load32(entry + 8);
    return image;
}

}  // namespace

bool ReadIconFile(const Bytes &file, std::vector<IconImage> *images, std::string *error)
{
    images->clear();
    if (IsPng(file)) {
        IconImage image;
        if (!CheckImage(file, &image.bitCount, error))
            return false;
        image.width = uint8_t(BigEndian32(&file[16]));  // 256 wraps to 0, as icons store it
        image.height = uint8_t(BigEndian32(&file[20]));
        image.planes = 1;
        image.size = uint32_t(file.size());
        image.data = file;
        images->push_back(std::move(image));
        return true;
    }
    if (file.size() < HEADER_SIZE || Load16(&file[0]) != 0 || Load16(&file[2]) != 1)
        return Fail(error, "not an icon (.ico) or PNG file");
    size_t count = Load16(&file[4]);
    if (count == 0)
        return Fail(error, "holds no image");
    if (HEADER_SIZE + count * FILE_ENTRY_SIZE > file.size())
        return Fail(error, "cut short: the list of " + std::to_string(count) + " images ends past the file's " +
                               std::to_string(file.size()) + " bytes");
    for (size_t i = 0; i < count; i++) {
        const unsigned char *entry = &file[HEADER_SIZE + i * FILE_ENTRY_SIZE];
        std::string which = "image " + std::to_string(i + 1) + " of " + std::to_string(count);
        IconImage image = ImageFields(entry);
        uint64_t offset = Load32(entry + 12), end = offset + image.size;
        if (end > file.size())
            return Fail(error, "cut short: " + which + " ends at byte " + std::to_string(end) + " of " +
                                   std::to_string(file.size()));
        image.data.assign(file.begin() + offset, file.begin() + end);
        uint16_t bitCount;
        std::string why;
        if (!CheckImage(image.data, &bitCount, &why))
            return Fail(error, which + ": " + why);
        if (!image.bitCount)
            image.bitCount = bitCount;
        if (!image.planes)
            image.planes = 1;
        images->push_back(std::move(image));
    }
    return true;
}

Bytes IconGroupData(const std::vector<IconImage> &images)
{
    Bytes out;
    Append16(&out, 0);
    Append16(&out, 1);
    Append16(&out, uint32_t(images.size()));
    for (const IconImage &image : images) {
        out.insert(out.end(), {image.width, image.height, image.colorCount, 0});
        Append16(&out, image.planes);
        Append16(&out, image.bitCount);
        Append16(&out, image.size & 0xFFFF);
        Append16(&out, image.size >> 16);
        Append16(&out, image.id);
    }
    return out;
}

bool ReadIconGroup(const Bytes &data, std::vector<IconImage> *images, std::string *error)
{
    images->clear();
    if (data.size() < HEADER_SIZE || Load16(&data[2]) != 1 ||
        data.size() < HEADER_SIZE + size_t(Load16(&data[4])) * GROUP_ENTRY_SIZE)
        return Fail(error, "an icon group of " + std::to_string(data.size()) + " bytes is damaged");
    for (size_t i = 0; i < Load16(&data[4]); i++) {
        const unsigned char *entry = &data[HEADER_SIZE + i * GROUP_ENTRY_SIZE];
        IconImage image = ImageFields(entry);
        image.id = uint16_t(Load16(entry + 12));
        images->push_back(image);
    }
    return true;
}

}  // namespace sfxpack
