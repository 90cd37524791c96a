#include "package/crc32.h"

#include <cpuid.h>
#include <immintrin.h>

// Eight tables of 256 entries, filled on first use: the launcher runs no
// static constructors, and 8 KiB of zeros cost nothing in the file.
static uint32_t crcTables[8][256];
// 0 until the first call; then 1 for the tables alone, 2 when the processor
// also multiplies without carries (PCLMULQDQ with SSE4.1).
static int crcMethod;

static void ChooseCrcMethod()
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
    unsigned eax, ebx, ecx, edx;
    int folding = __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_PCLMUL) && (ecx & bit_SSE4_1);
    crcMethod = folding ? 2 : 1;
}

// Eight bytes a step, each byte looked up in its own table. `crc` is the
// inverted running value.
static uint32_t CrcByTables(uint32_t crc, const unsigned char *p, size_t length)
{
    for (; length >= 8; p += 8, length -= 8) {
        uint32_t low = crc ^ (p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
        uint32_t high = p[4] | p[5] << 8 | p[6] << 16 | uint32_t(p[7]) << 24;
        crc = crcTables[7][low & 0xFF] ^ crcTables[6][(low >> 8) & 0xFF] ^ crcTables[5][(low >> 16) & 0xFF] ^
              crcTables[4][low >> 24] ^ crcTables[3][high & 0xFF] ^ crcTables[2][(high >> 8) & 0xFF] ^
              crcTables[1][(high >> 16) & 0xFF] ^ crcTables[0][high >> 24];
    }
    for (; length > 0; p++, length--)
        crc = (crc >> 8) ^ crcTables[0][(crc ^ *p) & 0xFF];
    return crc;
}

// Folding with carry-less multiplication: four 128-bit lanes are folded
// forward 64 bytes at a time, then into one lane, which a Barrett reduction
// turns into the CRC. The constants are powers of x modulo the (bit-reflected)
// polynomial: x^(4*128+32) and x^(4*128-32) for four lanes, x^(128+32) and
// x^(128-32) for one, x^64 for the last 64 bits, and the polynomial with its
// Barrett quotient. `length` is a multiple of 16, at least 64; `crc` is the
// inverted running value. 32-bit Windows keeps the stack 4-byte aligned only,
// hence the realignment for the 16-byte spills.
__attribute__((target("pclmul,sse4.1"), force_align_arg_pointer)) static uint32_t
CrcByFolding(uint32_t crc, const unsigned char *p, size_t length)
{
    const __m128i fourLanes = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
    const __m128i oneLane = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
    const __m128i last64 = _mm_set_epi64x(0, 0x163cd6124LL);
    const __m128i barrett = _mm_set_epi64x(0x1f7011641LL, 0x1db710641LL);
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
    const __m128i *in = reinterpret_cast<const __m128i *>(p);

    __m128i x1 = _mm_xor_si128(_mm_loadu_si128(in), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = _mm_loadu_si128(in + 1), x3 = _mm_loadu_si128(in + 2), x4 = _mm_loadu_si128(in + 3);
    in += 4;
    length -= 64;
    for (; length >= 64; length -= 64, in += 4) {
        __m128i h1 = _mm_clmulepi64_si128(x1, fourLanes, 0x11), h2 = _mm_clmulepi64_si128(x2, fourLanes, 0x11);
        __m128i h3 = _mm_clmulepi64_si128(x3, fourLanes, 0x11), h4 = _mm_clmulepi64_si128(x4, fourLanes, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, fourLanes, 0x00), h1), _mm_loadu_si128(in));
        x2 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x2, fourLanes, 0x00), h2), _mm_loadu_si128(in + 1));
        x3 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x3, fourLanes, 0x00), h3), _mm_loadu_si128(in + 2));
        x4 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x4, fourLanes, 0x00), h4), _mm_loadu_si128(in + 3));
    }
    const __m128i next[3] = {x2, x3, x4};
    for (const __m128i &lane : next)
        x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, oneLane, 0x00),
                                         _mm_clmulepi64_si128(x1, oneLane, 0x11)),
                           lane);
    for (; length >= 16; length -= 16, in++)
        x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, oneLane, 0x00),
                                         _mm_clmulepi64_si128(x1, oneLane, 0x11)),
                           _mm_loadu_si128(in));

    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(oneLane, x1, 0x01));
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 4), _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), last64, 0x00));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), barrett, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}

uint32_t Crc32Update(uint32_t crc, const void *data, size_t length)
{
    if (!crcMethod)
        ChooseCrcMethod();
    const unsigned char *p = static_cast<const unsigned char *>(data);
    crc = ~crc;
    if (crcMethod == 2 && length >= 64) {
        size_t folded = length & ~size_t(15);
        crc = CrcByFolding(crc, p, folded);
        p += folded;
        length -= folded;
    }
    return ~CrcByTables(crc, p, length);
}
