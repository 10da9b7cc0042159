// A patch read a chunk at a time: its fields are a few bytes each, and a
// library call per field would cost more than the rest of the work.
#ifndef ZORVIK_ENGINE_PATCH_READER_H
#define ZORVIK_ENGINE_PATCH_READER_H

#include "engine/ips32.h"
#include "platform/win32.h"

#include <stdint.h>
#include <stdio.h>

#include <condition_variable>
#include <mutex>
#include <thread>

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

class PatchReadAhead;

struct PatchReader {
    FILE *file;
    unsigned char *chunk;  // PATCH_READER_SIZE bytes, or a buffer of ahead's
    DWORD next;            // chunk[next, end) is read but not yet taken
    DWORD end;
    uint64_t position;     // in the file, of chunk[next]
    PatchReadAhead *ahead; // reads the chunks on a thread of its own; null: they are read here
};

// Reads on, a chunk at a time, until the reader holds size bytes (at most
// IPS32_MAX_RECORD_SIZE) in one piece, aligned as the file: what is left is
// moved to the chunk's start, or, with ahead, just before the next chunk in
// its buffer. 0 when the patch ends before them or cannot be read further,
// and then the chunk holds all there was.
BOOL RefillPatch(PatchReader &patch, DWORD size);

// The patch read ahead on a thread of its own, chunk after chunk into a ring
// of buffers, so that the reading of the next chunks overlaps the work on the
// one taken. Each buffer has room before its chunk for the rest of a record,
// so that a chunk is never copied.
class PatchReadAhead {
public:
    PatchReadAhead() = default;
    // Stops the thread and frees the ring.
    ~PatchReadAhead();
    PatchReadAhead(const PatchReadAhead &) = delete;
    PatchReadAhead &operator=(const PatchReadAhead &) = delete;

    // Starts reading file (unbuffered, at position; it stays the caller's and
    // is not to be used until this object goes) on a thread. 0 where the
    // platform starts no threads, or memory or the thread is not given.
    BOOL Start(FILE *file, uint64_t position);

    // Waits for the next chunk and moves the kept bytes at keep just before
    // it; 0 at the patch's end or a failed read. The buffer taken before,
    // which keep may lie in, is given back then.
    BOOL Take(const unsigned char *keep, DWORD kept, PatchReader &patch);

private:
    void Read();
    unsigned char *Data(uint64_t index) const;

    static const int kRing = 4;
    FILE *file_ = NULL;
    uint64_t start_ = 0;          // the file's position of chunk 0
    unsigned char *ring_ = NULL;  // kRing buffers
    std::thread reader_;
    std::mutex lock_;
    std::condition_variable changed_;
    // Guarded by lock_:
    uint64_t read_ = 0;           // chunks read; the last may be empty
    uint64_t taken_ = 0;          // chunks taken; the last of them is held
    DWORD sizes_[kRing] = {};     // each buffer's bytes
    bool ended_ = false;          // no chunk follows read_
    bool stopping_ = false;
};

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
