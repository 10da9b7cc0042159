// Reading and comparing bytes several at a time, for both patch writers: 8
// bytes as one word, and two byte arrays 64 positions at a time. The 64
// positions come in three forms: with 64-bit words (processors without SSE2),
// with SSE2, which every build for x86 has (the 32-bit Windows build is
// compiled for processors with it, as every processor that runs the Windows
// versions it supports has), and with AVX2, compiled beside it and chosen at
// run time where the processor has it (HasAvx2). A function that compares a
// stretch is compiled once for the baseline form and once for AVX2
// (AVX2_FUNCTION), so that the choice is made once per stretch, not per 64
// positions. The word forms are always built, so that their tests run on
// every build.
#ifndef ZORVIK_ENGINE_COMPARE_H
#define ZORVIK_ENGINE_COMPARE_H

#include "platform/win32.h"

#include <stdint.h>
#include <string.h>

#ifdef __SSE2__
#  include <immintrin.h>
#endif

// Positions that the wide compares (Same, DifferenceMask) take at a time.
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
// order: one load, turned where the processor keeps the first byte highest.
inline uint64_t LoadWord(const unsigned char *bytes)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return __builtin_bswap64(Load64(bytes));
#else
    return Load64(bytes);
#endif
}

// 64 positions at a time with 64-bit words.
struct WordCompare {
    // 1 when the 64 bytes at a equal the 64 bytes at b.
    static bool Same(const unsigned char *a, const unsigned char *b)
    {
        uint64_t differ = 0;
        for (int k = 0; k < WIDE_COMPARE_SIZE; k += 8)
            differ |= LoadWord(a + k) ^ LoadWord(b + k);
        return differ == 0;
    }

    // Bit k (from the lowest) set where a[k] and b[k] differ, for the 64 positions.
    static uint64_t DifferenceMask(const unsigned char *a, const unsigned char *b)
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
};

#ifdef __SSE2__

// 64 positions at a time, 16 bytes at a time.
struct Sse2Compare {
    static bool Same(const unsigned char *a, const unsigned char *b)
    {
        __m128i equal = _mm_set1_epi8(-1);
        for (int k = 0; k < WIDE_COMPARE_SIZE; k += 16)
            equal = _mm_and_si128(equal, _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(a + k)),
                                                         _mm_loadu_si128((const __m128i *)(b + k))));
        return _mm_movemask_epi8(equal) == 0xFFFF;
    }

    static uint64_t DifferenceMask(const unsigned char *a, const unsigned char *b)
    {
        uint64_t equal = 0;
        for (int k = 0; k < WIDE_COMPARE_SIZE; k += 16) {
            __m128i same = _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(a + k)),
                                          _mm_loadu_si128((const __m128i *)(b + k)));
            equal |= (uint64_t)(unsigned)_mm_movemask_epi8(same) << k;
        }
        return ~equal;
    }
};

// 64 positions at a time, 32 bytes at a time; only where HasAvx2.
struct Avx2Compare {
    __attribute__((target("avx2"))) static bool Same(const unsigned char *a, const unsigned char *b)
    {
        __m256i low = _mm256_cmpeq_epi8(_mm256_loadu_si256((const __m256i *)a), _mm256_loadu_si256((const __m256i *)b));
        __m256i high = _mm256_cmpeq_epi8(_mm256_loadu_si256((const __m256i *)(a + 32)),
                                         _mm256_loadu_si256((const __m256i *)(b + 32)));
        return _mm256_movemask_epi8(_mm256_and_si256(low, high)) == -1;
    }

    __attribute__((target("avx2"))) static uint64_t DifferenceMask(const unsigned char *a, const unsigned char *b)
    {
        __m256i low = _mm256_cmpeq_epi8(_mm256_loadu_si256((const __m256i *)a), _mm256_loadu_si256((const __m256i *)b));
        __m256i high = _mm256_cmpeq_epi8(_mm256_loadu_si256((const __m256i *)(a + 32)),
                                         _mm256_loadu_si256((const __m256i *)(b + 32)));
        return ~((uint64_t)(uint32_t)_mm256_movemask_epi8(low) | (uint64_t)(uint32_t)_mm256_movemask_epi8(high) << 32);
    }
};

// The form every processor of the build has.
typedef Sse2Compare BaselineCompare;

// A function compiled for AVX2, with what it calls compiled into it.
#define AVX2_FUNCTION __attribute__((target("avx2"), flatten))

// Whether the processor (and the system, which must save its registers) has AVX2.
inline bool HasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

#else

typedef WordCompare BaselineCompare;
typedef WordCompare Avx2Compare;
#define AVX2_FUNCTION
inline bool HasAvx2()
{
    return false;
}

#endif

// The index of the lowest set bit of mask, which must not be 0.
inline unsigned LowestSetBit(uint64_t mask)
{
    return (unsigned)__builtin_ctzll(mask);
}

// Marks the blocks of WIDE_COMPARE_SIZE positions of a and b (size positions,
// readable a block on) where they differ: bit k % 64 of marks[k / 64] for
// block k. The words past the last block are left as they are.
template <class Wide> inline void MarkChangedBlocks(const unsigned char *a, const unsigned char *b, DWORD size,
                                                   uint64_t *marks)
{
    const DWORD blocks = (size + WIDE_COMPARE_SIZE - 1) / WIDE_COMPARE_SIZE;
    for (DWORD first = 0; first < blocks; first += 64) {
        const DWORD count = blocks - first < 64 ? blocks - first : 64;
        uint64_t word = 0;
        for (DWORD k = 0; k < count; ++k) {
            const DWORD at = (first + k) * WIDE_COMPARE_SIZE;
            word |= (uint64_t)!Wide::Same(a + at, b + at) << k;
        }
        marks[first / 64] = word;
    }
}

// SkipEqual, WIDE_COMPARE_SIZE positions at a time with Wide while that many
// are left.
template <class Wide> inline DWORD SkipEqualWide(const unsigned char *a, const unsigned char *b, DWORD i, DWORD end)
{
    for (; end - i >= WIDE_COMPARE_SIZE; i += WIDE_COMPARE_SIZE) {
        const uint64_t differ = Wide::DifferenceMask(a + i, b + i);
        if (differ != 0)
            return i + LowestSetBit(differ);
    }
    return SkipEqual(a, b, i, end);
}

#endif
