// The field scrambling and the CRC-32 shared by the launcher and the writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "package/crc32.h"
#include "package/format.h"

namespace {

TEST(UnscrambleField, ZerosDescrambleToTheKnownBytesOfEachPosition)
{
    // Worked out by hand from the key table: XOR key[7-k], rotate right by
    // 7-k, XOR key[k]. Position 7 only XORs with key[0] and key[7].
    const unsigned char expected[8] = {0x2D, 0x50, 0xF8, 0xB7, 0xF0, 0x57, 0x84, 0xE1};
    unsigned char buffer[24] = {};
    UnscrambleField(buffer, 24);
    for (int i = 0; i < 24; i++)
        EXPECT_EQ(buffer[i], expected[i % 8]) << "position " << i;
}

TEST(UnscrambleField, ZeroRotationPositionsOnlyXorWithKey0AndKey7)
{
    for (int position : {7, 15, 23}) {
        for (int value = 0; value < 256; value++) {
            unsigned char buffer[24] = {};
            buffer[position] = static_cast<unsigned char>(value);
            UnscrambleField(buffer, position + 1);
            EXPECT_EQ(buffer[position], value ^ 0x5A ^ 0xBB) << "position " << position << " value " << value;
        }
    }
}

TEST(UnscrambleField, KnownBytesOfOtherValues)
{
    unsigned char ones[8], letters[8];
    std::fill(ones, ones + 8, 0xFF);
    std::fill(letters, letters + 8, 'A');
    UnscrambleField(ones, 8);
    UnscrambleField(letters, 8);
    const unsigned char expectedOnes[8] = {0xD2, 0xAF, 0x07, 0x48, 0x0F, 0xA8, 0x7B, 0x1E};
    const unsigned char expectedLetters[8] = {0xAF, 0x55, 0xF2, 0xA3, 0xD8, 0x07, 0x24, 0xA0};
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(ones[i], expectedOnes[i]) << i;
        EXPECT_EQ(letters[i], expectedLetters[i]) << i;
    }
}

TEST(UnscrambleField, ScrambleIsItsInverseForEveryByteAtEveryPosition)
{
    for (int position = 0; position < 16; position++) {
        std::set<int> images;
        for (int value = 0; value < 256; value++) {
            unsigned char buffer[16] = {};
            buffer[position] = static_cast<unsigned char>(value);
            ScrambleField(buffer, 16);
            images.insert(buffer[position]);
            UnscrambleField(buffer, 16);
            EXPECT_EQ(buffer[position], value) << "position " << position;
            UnscrambleField(buffer, 16);
            ScrambleField(buffer, 16);
            EXPECT_EQ(buffer[position], value) << "position " << position;
        }
        EXPECT_EQ(images.size(), 256u) << "position " << position;
    }
}

TEST(UnscrambleField, ZeroAndNegativeLengthsLeaveTheBufferUntouched)
{
    for (int length : {0, -1, -8, -2147483647 - 1}) {
        unsigned char buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        UnscrambleField(buffer, length);
        ScrambleField(buffer, length);
        for (int i = 0; i < 8; i++)
            EXPECT_EQ(buffer[i], i + 1) << "length " << length;
    }
}

TEST(UnscrambleField, FullWidthDescramblingRestoresThePaddingPastTheNul)
{
    char field[PRODUCT_TITLE_FIELD_SIZE] = "Title";
    ScrambleField(field, PRODUCT_TITLE_FIELD_SIZE);
    char partial[PRODUCT_TITLE_FIELD_SIZE];
    std::copy(field, field + PRODUCT_TITLE_FIELD_SIZE, partial);

    UnscrambleField(field, PRODUCT_TITLE_FIELD_SIZE);
    EXPECT_STREQ(field, "Title");
    for (int i = 5; i < PRODUCT_TITLE_FIELD_SIZE; i++)
        EXPECT_EQ(field[i], 0) << i;

    // Descrambling only the text and its NUL leaves the padding scrambled.
    UnscrambleField(partial, 6);
    EXPECT_STREQ(partial, "Title");
    EXPECT_NE(partial[6], 0);
}

// The fast paths (eight tables, and folding on processors that multiply
// without carries) against the plain bitwise definition, at every length
// and offset that changes which path a byte takes, continued piecewise too.
TEST(Crc32, MatchesTheBitwiseDefinitionAtEveryLengthAndSplit)
{
    auto bitwise = [](uint32_t crc, const unsigned char *p, size_t length) {
        crc = ~crc;
        while (length--) {
            crc ^= *p++;
            for (int bit = 0; bit < 8; bit++)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        }
        return ~crc;
    };
    EXPECT_EQ(Crc32Update(0, "123456789", 9), 0xCBF43926u);
    std::vector<unsigned char> bytes(1100);
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = static_cast<unsigned char>(i * 131 + (i >> 7));
    for (size_t offset = 0; offset < 17; offset++)
        for (size_t length = 0; length + offset <= bytes.size(); length += 1 + length / 16) {
            uint32_t expected = bitwise(0, &bytes[offset], length);
            ASSERT_EQ(Crc32Update(0, &bytes[offset], length), expected) << offset << " " << length;
            size_t half = length / 3;
            ASSERT_EQ(Crc32Update(Crc32Update(0, &bytes[offset], half), &bytes[offset + half], length - half),
                      expected)
                << offset << " " << length;
        }
}

}  // namespace
