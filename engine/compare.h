// Reading and comparing bytes several at a time, for both patch writers: 8
// bytes as one word, and two byte arrays 64 positions at a time, with SSE2
// where the compiler offers it (the 64-bit builds) and with 64-bit words
// elsewhere (the 32-bit Windows build targets processors without it). The
// word forms are always built, so that their tests run on every build.
#ifndef ZORVIK_ENGINE_COMPARE_H
#define ZORVIK_ENGINE_COMPARE_H

#include "platform/win32.h"

#include <stdint.h>
#include <string.h>

#ifdef __SSE2__
#  include <emmintrin.h>
#endif

// Positions that SameWide and DifferenceMask compare at a time.
#define WIDE_COMPARE_SIZE 64

inline uint64_t Load64(const unsigned char *bytes)
{
    uint64_t value;
    memcpy(&value, bytes, sizeof value);
    return value;
}

// The first index from i on where a and b differ; end when there is none.
// Equal stretches are long, so they are passed over 32 and then 8 bytes at a
// time.
inline DWORD SkipEqual(const unsigned char *a, const unsigned char *b, DWORD i, DWORD end)
{
    while (end - i >= 32 && ((Load64(a + i) ^ Load64(b + i)) | (Load64(a + i + 8) ^ Load64(b + i + 8)) |
                             (Load64(a + i + 16) ^ Load64(b + i + 16)) | (Load64(a + i + 24) ^ Load64(b + i + 24))) == 0)
        i += 32;
    while (end - i >= 8 && Load64(a + i) == Load64(b + i))
        i += 8;
    while (i < end && a[i] == b[i])
        ++i;
    return i;
}

// Eight bytes as a number, the first in the lowest bits whatever the byte
// order (compilers make this one load where that is the order).
inline uint64_t LoadWord(const unsigned char *bytes)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

// 1 when the 64 bytes at a equal the 64 bytes at b.
inline bool SameWideWords(const unsigned char *a, const unsigned char *b)
{
    uint64_t differ = 0;
    for (int k = 0; k < WIDE_COMPARE_SIZE; k += 8)
        differ |= LoadWord(a + k) ^ LoadWord(b + k);
    return differ == 0;
}

// Bit k (from the lowest) set where a[k] and b[k] differ, for the 64 positions.
inline uint64_t DifferenceMaskWords(const unsigned char *a, const unsigned char *b)
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

#ifdef __SSE2__

// 1 when the 64 bytes at a equal the 64 bytes at b.
inline bool SameWideVector(const unsigned char *a, const unsigned char *b)
{
    __m128i equal = _mm_set1_epi8(-1);
    for (int k = 0; k < WIDE_COMPARE_SIZE; k += 16)
        equal = _mm_and_si128(equal, _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(a + k)),
                                                     _mm_loadu_si128((const __m128i *)(b + k))));
    return _mm_movemask_epi8(equal) == 0xFFFF;
}

// Bit k (from the lowest) set where a[k] and b[k] differ, for the 64 positions.
inline uint64_t DifferenceMaskVector(const unsigned char *a, const unsigned char *b)
{
    uint64_t equal = 0;
    for (int k = 0; k < WIDE_COMPARE_SIZE; k += 16) {
        __m128i same = _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(a + k)),
                                      _mm_loadu_si128((const __m128i *)(b + k)));
        equal |= (uint64_t)(unsigned)_mm_movemask_epi8(same) << k;
    }
    return ~equal;
}

#endif

inline bool SameWide(const unsigned char *a, const unsigned char *b)
{
#ifdef __SSE2__
    return SameWideVector(a, b);
#else
    return SameWideWords(a, b);
#endif
}

inline uint64_t DifferenceMask(const unsigned char *a, const unsigned char *b)
{
#ifdef __SSE2__
    return DifferenceMaskVector(a, b);
#else
    return DifferenceMaskWords(a, b);
#endif
}

// The index of the lowest set bit of mask, which must not be 0.
inline unsigned LowestSetBit(uint64_t mask)
{
    return (unsigned)__builtin_ctzll(mask);
}

#endif
