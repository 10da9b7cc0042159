// Reading and comparing bytes several at a time, for both patch writers.
#ifndef ZORVIK_ENGINE_COMPARE_H
#define ZORVIK_ENGINE_COMPARE_H

#include "platform/win32.h"

#include <stdint.h>
#include <string.h>

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

#endif
