// The writer's CRC-32, behind the interface of package/crc32.h: the same
// values as the launcher's table-driven one, many times faster where the
// processor multiplies without carries (folding, as in Intel's "Fast CRC
// Computation for Generic Polynomials Using PCLMULQDQ"), so that verify
// keeps pace with reading. Elsewhere sixteen tables, sixteen bytes a step.
#include "package/crc32.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CRC_FOLDING 1
#endif

namespace {

struct Tables {
    uint32_t t[16][256];
    Tables()
    {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int bit = 0; bit < 8; bit++)
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; i++)
            for (int k = 1; k < 16; k++)
                t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
};

const Tables tables;

// On the inverted CRC, as the folding code is.
uint32_t Slices(uint32_t crc, const unsigned char *p, size_t length)
{
    const uint32_t(*t)[256] = tables.t;
    for (; length >= 16; p += 16, length -= 16) {
        uint32_t a = crc ^ (p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
        crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
              t[11][p[4]] ^ t[10][p[5]] ^ t[9][p[6]] ^ t[8][p[7]] ^ t[7][p[8]] ^ t[6][p[9]] ^ t[5][p[10]] ^
              t[4][p[11]] ^ t[3][p[12]] ^ t[2][p[13]] ^ t[1][p[14]] ^ t[0][p[15]];
    }
    for (; length > 0; p++, length--)
        crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
    return crc;
}

#ifdef CRC_FOLDING

// Folds `length` bytes (at least 64, a multiple of 16) into the inverted
// CRC `crc`. The constants are x^(n) mod P for the bit-reflected polynomial.
__attribute__((target("pclmul,sse4.1"))) uint32_t Fold(uint32_t crc, const unsigned char *p, size_t length)
{
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);

    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
    __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 32));
    __m128i x4 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 48));
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(int(crc)));
    p += 64;
    length -= 64;

    // Four lanes of 16 bytes, each folded 64 bytes on per step.
    for (; length >= 64; p += 64, length -= 64) {
        __m128i y1 = _mm_clmulepi64_si128(x1, k1k2, 0x00), y2 = _mm_clmulepi64_si128(x2, k1k2, 0x00);
        __m128i y3 = _mm_clmulepi64_si128(x3, k1k2, 0x00), y4 = _mm_clmulepi64_si128(x4, k1k2, 0x00);
        x1 = _mm_clmulepi64_si128(x1, k1k2, 0x11);
        x2 = _mm_clmulepi64_si128(x2, k1k2, 0x11);
        x3 = _mm_clmulepi64_si128(x3, k1k2, 0x11);
        x4 = _mm_clmulepi64_si128(x4, k1k2, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, y1), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
        x2 = _mm_xor_si128(_mm_xor_si128(x2, y2), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16)));
        x3 = _mm_xor_si128(_mm_xor_si128(x3, y3), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 32)));
        x4 = _mm_xor_si128(_mm_xor_si128(x4, y4), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 48)));
    }

    // The four lanes into one, then 16 bytes a step.
    __m128i next[3] = {x2, x3, x4};
    for (__m128i lane : next) {
        __m128i low = _mm_clmulepi64_si128(x1, k3k4, 0x00);
        x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, k3k4, 0x11), lane), low);
    }
    for (; length >= 16; p += 16, length -= 16) {
        __m128i low = _mm_clmulepi64_si128(x1, k3k4, 0x00);
        x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, k3k4, 0x11),
                                         _mm_loadu_si128(reinterpret_cast<const __m128i *>(p))),
                           low);
    }

    // 128 bits to 64, then Barrett reduction to 32.
    __m128i x = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, mask32), k5, 0x00), _mm_srli_si128(x, 4));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, mask32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), poly, 0x00);
    return uint32_t(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

// Asked during static construction, before the runtime would ask by itself.
const bool canFold = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}();

#endif

}  // namespace

uint32_t Crc32Update(uint32_t crc, const void *data, size_t length)
{
    const unsigned char *p = static_cast<const unsigned char *>(data);
    crc = ~crc;
#ifdef CRC_FOLDING
    if (canFold && length >= 64) {
        size_t folded = length & ~size_t(15);
        crc = Fold(crc, p, folded);
        p += folded;
        length -= folded;
    }
#endif
    return ~Slices(crc, p, length);
}
