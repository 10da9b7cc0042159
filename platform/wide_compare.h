// Comparing two byte arrays 64 positions at a time: SSE2 where the compiler
// offers it (the 64-bit builds), 64-bit words elsewhere (the 32-bit Windows
// build targets processors without it).
#ifndef ZORVIK_PLATFORM_WIDE_COMPARE_H
#define ZORVIK_PLATFORM_WIDE_COMPARE_H

#include <stdint.h>

#ifdef __SSE2__
#  include <emmintrin.h>
#endif

#define WIDE_COMPARE_SIZE 64

#ifdef __SSE2__

// 1 when the 64 bytes at a equal the 64 bytes at b.
inline bool SameWide(const unsigned char *a, const unsigned char *b)
{
    __m128i equal = _mm_set1_epi8(-1);
    for (int k = 0; k < WIDE_COMPARE_SIZE; k += 16)
        equal = _mm_and_si128(equal, _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(a + k)),
                                                     _mm_loadu_si128((const __m128i *)(b + k))));
    return _mm_movemask_epi8(equal) == 0xFFFF;
}

// Bit k (from the lowest) set where a[k] and b[k] differ, for the 64 positions.
inline uint64_t DifferenceMask(const unsigned char *a, const unsigned char *b)
{
    uint64_t equal = 0;
    for (int k = 0; k < WIDE_COMPARE_SIZE; k += 16) {
        __m128i same = _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(a + k)),
                                      _mm_loadu_si128((const __m128i *)(b + k)));
        equal |= (uint64_t)(unsigned)_mm_movemask_epi8(same) << k;
    }
    return ~equal;
}

#else

// Eight bytes as a number, the first in the lowest bits whatever the byte
// order (compilers make this one load where that is the order).
inline uint64_t LoadWord(const unsigned char *bytes)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

inline bool SameWide(const unsigned char *a, const unsigned char *b)
{
    uint64_t differ = 0;
    for (int k = 0; k < WIDE_COMPARE_SIZE; k += 8)
        differ |= LoadWord(a + k) ^ LoadWord(b + k);
    return differ == 0;
}

inline uint64_t DifferenceMask(const unsigned char *a, const unsigned char *b)
{
    const uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    uint64_t mask = 0;
    for (int k = 0; k < WIDE_COMPARE_SIZE; k += 8) {
        uint64_t differ = LoadWord(a + k) ^ LoadWord(b + k);
        // The top bit of each byte that is not zero, then those eight bits
        // gathered into the top byte by one multiplication.
        uint64_t tops = (((differ & low7) + low7) | differ) & ~low7;
        mask |= ((tops >> 7) * 0x0102040810204080ull) >> 56 << k;
    }
    return mask;
}

#endif

// The index of the lowest set bit of mask, which must not be 0.
inline unsigned LowestSetBit(uint64_t mask)
{
    return (unsigned)__builtin_ctzll(mask);
}

#endif
