// A patch read a chunk at a time: its fields are a few bytes each, and a
// library call per field would cost more than the rest of the work.
#ifndef ZORVIK_ENGINE_PATCH_READER_H
#define ZORVIK_ENGINE_PATCH_READER_H

#include "engine/ips32.h"

#include <stdint.h>
#include <stdio.h>

// The patch is read in chunks of this size; a record's data fits one.
#define PATCH_CHUNK_SIZE (256u * 1024u)

static_assert(PATCH_CHUNK_SIZE >= IPS32_MAX_RECORD_SIZE, "a record's data must fit a chunk");

struct PatchReader {
    FILE *file;
    unsigned char *chunk;  // PATCH_CHUNK_SIZE bytes
    DWORD next;            // chunk[next, end) is read but not yet taken
    DWORD end;
    uint64_t position;     // in the file, of chunk[next]
};

// Moves what is left of the chunk to its start and reads on until it holds
// size bytes (at most PATCH_CHUNK_SIZE); 0 when the patch ends before them or
// cannot be read further, and then the chunk holds all there was.
BOOL RefillPatch(PatchReader &patch, DWORD size);

// The next size bytes of the patch (at most PATCH_CHUNK_SIZE), in one piece;
// null when the patch ends before them or cannot be read further.
inline const unsigned char *TakeFromPatch(PatchReader &patch, DWORD size)
{
    if (patch.end - patch.next < size && !RefillPatch(patch, size))
        return NULL;
    const unsigned char *bytes = patch.chunk + patch.next;
    patch.next += size;
    patch.position += size;
    return bytes;
}

// The big-endian number in count bytes (at most 4).
inline DWORD BigEndian(const unsigned char *bytes, int count)
{
    DWORD value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

#endif
