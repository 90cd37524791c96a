#include "package/crc32.h"

// Eight tables of 256 entries, filled on first use: the launcher runs no
// static constructors, and 8 KiB of zeros cost nothing in the file.
static uint32_t crcTables[8][256];
static int crcTablesReady;

static void FillCrcTables()
{
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; bit++)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
        crcTables[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; i++)
        for (int t = 1; t < 8; t++)
            crcTables[t][i] = (crcTables[t - 1][i] >> 8) ^ crcTables[0][crcTables[t - 1][i] & 0xFF];
    crcTablesReady = 1;
}

// Eight bytes a step, each byte looked up in its own table.
uint32_t Crc32Update(uint32_t crc, const void *data, size_t length)
{
    if (!crcTablesReady)
        FillCrcTables();
    const unsigned char *p = static_cast<const unsigned char *>(data);
    crc = ~crc;
    for (; length >= 8; p += 8, length -= 8) {
        uint32_t low = crc ^ (p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
        uint32_t high = p[4] | p[5] << 8 | p[6] << 16 | uint32_t(p[7]) << 24;
        crc = crcTables[7][low & 0xFF] ^ crcTables[6][(low >> 8) & 0xFF] ^ crcTables[5][(low >> 16) & 0xFF] ^
              crcTables[4][low >> 24] ^ crcTables[3][high & 0xFF] ^ crcTables[2][(high >> 8) & 0xFF] ^
              crcTables[1][(high >> 16) & 0xFF] ^ crcTables[0][high >> 24];
    }
    for (; length > 0; p++, length--)
        crc = (crc >> 8) ^ crcTables[0][(crc ^ *p) & 0xFF];
    return ~crc;
}
