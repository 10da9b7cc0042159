// A patch read a chunk at a time: its fields are a few bytes each, and a
// library call per field would cost more than the rest of the work.
#ifndef ZORVIK_ENGINE_PATCH_READER_H
#define ZORVIK_ENGINE_PATCH_READER_H

#include "engine/ips32.h"
#include "platform/win32.h"

#include <stdint.h>
#include <stdio.h>

#ifdef ZORVIK_FUZZ_SIZES
// The fuzz build reads a few bytes at a time, so that its short patches reach
// every chunk boundary.
#define PATCH_CHUNK_SIZE 61u
#else
// The patch is read this much at a time.
#define PATCH_CHUNK_SIZE (256u * 1024u)
#endif
// Bytes are read into the buffer at the same offset within this many bytes as
// they have in the file: the system's copy into memory at another offset can
// be several times slower.
#define PATCH_READER_ALIGNMENT 64u
// The reader's buffer holds a chunk and the rest of a record before it, so
// that each field and each record's data lie in one piece, and room to align.
#define PATCH_READER_SIZE (PATCH_CHUNK_SIZE + IPS32_MAX_RECORD_SIZE + PATCH_READER_ALIGNMENT)

struct PatchReader {
    FILE *file;
    unsigned char *chunk;  // PATCH_READER_SIZE bytes
    DWORD next;            // chunk[next, end) is read but not yet taken
    DWORD end;
    uint64_t position;     // in the file, of chunk[next]
};

// Moves what is left of the chunk to its start (aligned as the file) and
// reads on, a chunk at a time, until it holds size bytes (at most IPS32_MAX_RECORD_SIZE); 0 when the
// patch ends before them or cannot be read further, and then the chunk holds
// all there was.
BOOL RefillPatch(PatchReader &patch, DWORD size);

// The next size bytes of the patch (at most IPS32_MAX_RECORD_SIZE), in one
// piece; null when the patch ends before them or cannot be read further.
inline const unsigned char *TakeFromPatch(PatchReader &patch, DWORD size)
{
    if (patch.end - patch.next < size && !RefillPatch(patch, size))
        return NULL;
    const unsigned char *bytes = patch.chunk + patch.next;
    patch.next += size;
    patch.position += size;
    return bytes;
}

inline DWORD BigEndian32(const unsigned char *bytes)
{
    return (DWORD)bytes[0] << 24 | (DWORD)bytes[1] << 16 | (DWORD)bytes[2] << 8 | bytes[3];
}

inline DWORD BigEndian16(const unsigned char *bytes)
{
    return (DWORD)bytes[0] << 8 | bytes[1];
}

// What follows a record's offset: its size field, then size bytes of data,
// or for size 0 a run's length and value.
struct RecordBody {
    DWORD size;                  // 0 for a run
    DWORD length;                // bytes the record writes
    const unsigned char *bytes;  // the data, or the run's length and value
};

// Takes the body of the record whose offset was just taken, whole; 0 when the
// patch ends before it or cannot be read further.
inline BOOL TakeRecordBody(PatchReader &patch, RecordBody &body)
{
    const unsigned char *field = TakeFromPatch(patch, 2);
    if (field == NULL)
        return 0;
    body.size = BigEndian16(field);
    if ((body.bytes = TakeFromPatch(patch, body.size != 0 ? body.size : 3)) == NULL)
        return 0;
    body.length = body.size != 0 ? body.size : BigEndian16(body.bytes);
    return 1;
}

#endif
