// The writer's CRC-32, behind the interface of package/crc32.h. Like the
// launcher's package/crc32.cpp it folds 128-bit lanes with carry-less
// multiplication; where the processor multiplies four lanes at once
// (AVX-512 with VPCLMULQDQ) it folds 512-bit lanes, about three times
// faster, so that verify keeps pace with a plain read of the file.
// Elsewhere sixteen tables, sixteen bytes a step.
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

// Folding: a 128-bit lane A followed, D bits later, by B folds into B as
// A.low * k(D + 32) ^ A.high * k(D - 32) ^ B, where k(n) is x^n mod P
// bit-reflected and shifted left by one. The constants below are those
// k(n), lower one first.
// 32-bit Windows keeps the stack 4-byte aligned only: realigned for spills.
#define FOLDING __attribute__((target("pclmul,sse4.1"), force_align_arg_pointer))
#define WIDE_FOLDING __attribute__((target("pclmul,sse4.1,avx512f,avx512vl,vpclmulqdq"), force_align_arg_pointer))

FOLDING inline __m128i FoldLane(__m128i a, __m128i b, __m128i k)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11)), b);
}

FOLDING inline __m128i Load(const unsigned char *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// The 16-byte steps that are left, then 128 bits to 64 and a Barrett
// reduction to the 32 bits of the (inverted) CRC.
FOLDING uint32_t FinishFold(__m128i x, const unsigned char *p, size_t length)
{
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);  // k(96), k(160)
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);                // k(64)
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);   // x^64 / P, P
    const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
    for (; length >= 16; p += 16, length -= 16)
        x = FoldLane(x, Load(p), k3k4);
    x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, k3k4, 0x10));
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, mask32), k5, 0x00), _mm_srli_si128(x, 4));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, mask32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), poly, 0x00);
    return uint32_t(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

// At least 64 bytes, a multiple of 16: four lanes 64 bytes on per step.
FOLDING uint32_t Fold(uint32_t crc, const unsigned char *p, size_t length)
{
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);  // k(480), k(544)
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(int(crc)));
    __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
    for (p += 64, length -= 64; length >= 64; p += 64, length -= 64) {
        x1 = FoldLane(x1, Load(p), k1k2);
        x2 = FoldLane(x2, Load(p + 16), k1k2);
        x3 = FoldLane(x3, Load(p + 32), k1k2);
        x4 = FoldLane(x4, Load(p + 48), k1k2);
    }
    x1 = FoldLane(FoldLane(FoldLane(x1, x2, k3k4), x3, k3k4), x4, k3k4);
    return FinishFold(x1, p, length);
}

WIDE_FOLDING inline __m512i FoldWide(__m512i a, __m512i b, __m512i k)
{
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(a, k, 0x00), _mm512_clmulepi64_epi128(a, k, 0x11), b,
                                     0x96);
}

// At least 256 bytes, a multiple of 16: four 512-bit lanes, 256 bytes on per
// step, where the processor multiplies four lanes of 128 bits at once.
WIDE_FOLDING uint32_t FoldWide(uint32_t crc, const unsigned char *p, size_t length)
{
    const __m512i k256 = _mm512_set_epi64(0x01322d1430, 0x011542778a, 0x01322d1430, 0x011542778a, 0x01322d1430,
                                          0x011542778a, 0x01322d1430, 0x011542778a);  // k(2016), k(2080)
    const __m512i k64 = _mm512_set_epi64(0x01c6e41596, 0x0154442bd4, 0x01c6e41596, 0x0154442bd4, 0x01c6e41596,
                                         0x0154442bd4, 0x01c6e41596, 0x0154442bd4);  // k(480), k(544)
    __m512i x0 = _mm512_xor_si512(_mm512_loadu_si512(p), _mm512_zextsi128_si512(_mm_cvtsi32_si128(int(crc))));
    __m512i x1 = _mm512_loadu_si512(p + 64), x2 = _mm512_loadu_si512(p + 128), x3 = _mm512_loadu_si512(p + 192);
    for (p += 256, length -= 256; length >= 256; p += 256, length -= 256) {
        x0 = FoldWide(x0, _mm512_loadu_si512(p), k256);
        x1 = FoldWide(x1, _mm512_loadu_si512(p + 64), k256);
        x2 = FoldWide(x2, _mm512_loadu_si512(p + 128), k256);
        x3 = FoldWide(x3, _mm512_loadu_si512(p + 192), k256);
    }
    x3 = FoldWide(FoldWide(FoldWide(x0, x1, k64), x2, k64), x3, k64);
    for (; length >= 64; p += 64, length -= 64)
        x3 = FoldWide(x3, _mm512_loadu_si512(p), k64);
    // Its four 128-bit lanes into the last one: 384, 256 and 128 bits on.
    const __m512i kLanes = _mm512_set_epi64(0, 0, 0x0ccaa009e, 0x1751997d0, 0x15a546366, 0x0f1da05aa, 0x174359406,
                                            0x03db1ecdc);
    __m512i folded = _mm512_xor_si512(_mm512_clmulepi64_epi128(x3, kLanes, 0x00),
                                      _mm512_clmulepi64_epi128(x3, kLanes, 0x11));
    alignas(64) __m128i lanes[4], last[4];
    _mm512_store_si512(lanes, folded);
    _mm512_store_si512(last, x3);
    __m128i x = _mm_xor_si128(_mm_xor_si128(lanes[0], lanes[1]), _mm_xor_si128(lanes[2], last[3]));
    return FinishFold(x, p, length);
}

// Asked during static construction, before the runtime would ask by itself.
const int foldWidth = [] {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("pclmul") || !__builtin_cpu_supports("sse4.1"))
        return 0;
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                   __builtin_cpu_supports("vpclmulqdq")
               ? 512
               : 128;
}();

#endif

}  // namespace

uint32_t Crc32Update(uint32_t crc, const void *data, size_t length)
{
    const unsigned char *p = static_cast<const unsigned char *>(data);
    crc = ~crc;
#ifdef CRC_FOLDING
    if (foldWidth && length >= 64) {
        size_t folded = length & ~size_t(15);
        crc = foldWidth == 512 && folded >= 256 ? FoldWide(crc, p, folded) : Fold(crc, p, folded);
        p += folded;
        length -= folded;
    }
#endif
    return ~Slices(crc, p, length);
}
