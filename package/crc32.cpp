#include "package/crc32.h"

#include <cpuid.h>
#include <immintrin.h>

// The build machine's tools also fold 512-bit lanes where the processor can
// (so that checking a package keeps pace with reading it); the launcher
// stays with 128-bit lanes, small and safe on every 32-bit system.
#if defined(__x86_64__) && !defined(_WIN32)
#define CRC_WIDE_FOLDING 1
#else
#define CRC_WIDE_FOLDING 0
#endif

// Eight tables of 256 entries, filled on first use: the launcher runs no
// static constructors, and 8 KiB of zeros cost nothing in the file.
static uint32_t crcTables[8][256];
// 0 until the first call; then 1 for the tables alone, 2 when the processor
// also multiplies without carries (PCLMULQDQ with SSE4.1), 3 when it does so
// four lanes at a time (AVX-512 with VPCLMULQDQ).
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
#if CRC_WIDE_FOLDING
    __builtin_cpu_init();
    if (folding && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("vpclmulqdq"))
        crcMethod = 3;
#endif
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

// Folding with carry-less multiplication: a 128-bit lane A followed, D bits
// later, by B folds into B as A.low * k(D + 32) ^ A.high * k(D - 32) ^ B,
// where k(n) is x^n modulo the (bit-reflected) polynomial. Four lanes are
// folded 64 bytes on at a time, then into one, which a Barrett reduction
// turns into the CRC. Lengths are multiples of 16; `crc` is the inverted
// running value. 32-bit Windows keeps the stack 4-byte aligned only, hence
// the realignment for the 16-byte spills.
#define FOLDING __attribute__((target("pclmul,sse4.1"), force_align_arg_pointer))

FOLDING static inline __m128i FoldLane(__m128i a, __m128i b, __m128i k)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11)), b);
}

FOLDING static inline __m128i Load(const unsigned char *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// The 16-byte steps that are left, then 128 bits to 64 and the reduction.
FOLDING static uint32_t FinishFold(__m128i x, const unsigned char *p, size_t length)
{
    const __m128i oneLane = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);  // k(96), k(160)
    const __m128i last64 = _mm_set_epi64x(0, 0x163cd6124LL);               // k(64)
    const __m128i barrett = _mm_set_epi64x(0x1f7011641LL, 0x1db710641LL);  // x^64 / P, P
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
    for (; length >= 16; p += 16, length -= 16)
        x = FoldLane(x, Load(p), oneLane);
    x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(oneLane, x, 0x01));
    x = _mm_xor_si128(_mm_srli_si128(x, 4), _mm_clmulepi64_si128(_mm_and_si128(x, mask32), last64, 0x00));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, mask32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), barrett, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

// At least 64 bytes.
FOLDING static uint32_t CrcByFolding(uint32_t crc, const unsigned char *p, size_t length)
{
    const __m128i fourLanes = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);  // k(480), k(544)
    const __m128i oneLane = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
    __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
    for (p += 64, length -= 64; length >= 64; p += 64, length -= 64) {
        x1 = FoldLane(x1, Load(p), fourLanes);
        x2 = FoldLane(x2, Load(p + 16), fourLanes);
        x3 = FoldLane(x3, Load(p + 32), fourLanes);
        x4 = FoldLane(x4, Load(p + 48), fourLanes);
    }
    x1 = FoldLane(FoldLane(FoldLane(x1, x2, oneLane), x3, oneLane), x4, oneLane);
    return FinishFold(x1, p, length);
}

#if CRC_WIDE_FOLDING
#define WIDE_FOLDING __attribute__((target("pclmul,sse4.1,avx512f,avx512vl,vpclmulqdq")))

WIDE_FOLDING static inline __m512i FoldWideLane(__m512i a, __m512i b, __m512i k)
{
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(a, k, 0x00), _mm512_clmulepi64_epi128(a, k, 0x11), b,
                                     0x96);
}

// At least 256 bytes: four 512-bit lanes, 256 bytes on per step, where the
// processor multiplies four 128-bit lanes at once.
WIDE_FOLDING static uint32_t CrcByWideFolding(uint32_t crc, const unsigned char *p, size_t length)
{
    const __m512i k256 = _mm512_set_epi64(0x1322d1430, 0x11542778a, 0x1322d1430, 0x11542778a, 0x1322d1430,
                                          0x11542778a, 0x1322d1430, 0x11542778a);  // k(2016), k(2080)
    const __m512i k64 = _mm512_set_epi64(0x1c6e41596, 0x154442bd4, 0x1c6e41596, 0x154442bd4, 0x1c6e41596,
                                         0x154442bd4, 0x1c6e41596, 0x154442bd4);  // k(480), k(544)
    __m512i x0 = _mm512_xor_si512(_mm512_loadu_si512(p), _mm512_zextsi128_si512(_mm_cvtsi32_si128(int(crc))));
    __m512i x1 = _mm512_loadu_si512(p + 64), x2 = _mm512_loadu_si512(p + 128), x3 = _mm512_loadu_si512(p + 192);
    for (p += 256, length -= 256; length >= 256; p += 256, length -= 256) {
        x0 = FoldWideLane(x0, _mm512_loadu_si512(p), k256);
        x1 = FoldWideLane(x1, _mm512_loadu_si512(p + 64), k256);
        x2 = FoldWideLane(x2, _mm512_loadu_si512(p + 128), k256);
        x3 = FoldWideLane(x3, _mm512_loadu_si512(p + 192), k256);
    }
    x3 = FoldWideLane(FoldWideLane(FoldWideLane(x0, x1, k64), x2, k64), x3, k64);
    for (; length >= 64; p += 64, length -= 64)
        x3 = FoldWideLane(x3, _mm512_loadu_si512(p), k64);
    // Its four 128-bit lanes into the last one: 384, 256 and 128 bits on.
    const __m512i kLanes = _mm512_set_epi64(0, 0, 0x0ccaa009e, 0x1751997d0, 0x15a546366, 0x0f1da05aa, 0x174359406,
                                            0x03db1ecdc);
    __m512i folded =
        _mm512_xor_si512(_mm512_clmulepi64_epi128(x3, kLanes, 0x00), _mm512_clmulepi64_epi128(x3, kLanes, 0x11));
    alignas(64) __m128i lanes[4], last[4];
    _mm512_store_si512(lanes, folded);
    _mm512_store_si512(last, x3);
    __m128i x = _mm_xor_si128(_mm_xor_si128(lanes[0], lanes[1]), _mm_xor_si128(lanes[2], last[3]));
    return FinishFold(x, p, length);
}
#endif

uint32_t Crc32Update(uint32_t crc, const void *data, size_t length)
{
    if (!crcMethod)
        ChooseCrcMethod();
    const unsigned char *p = static_cast<const unsigned char *>(data);
    crc = ~crc;
    if (crcMethod >= 2 && length >= 64) {
        size_t folded = length & ~size_t(15);
#if CRC_WIDE_FOLDING
        if (crcMethod == 3 && folded >= 256)
            crc = CrcByWideFolding(crc, p, folded);
        else
#endif
            crc = CrcByFolding(crc, p, folded);
        p += folded;
        length -= folded;
    }
    return ~CrcByTables(crc, p, length);
}
