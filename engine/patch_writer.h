// The write side of the IPS32 format, the mirror of the patch reader: "IPS32",
// records, "EEOF", gathered in a block of the process heap so that records of
// a few bytes do not cost a system call each.
#ifndef ZORVIK_ENGINE_PATCH_WRITER_H
#define ZORVIK_ENGINE_PATCH_WRITER_H

#include "platform/win32.h"

#include <string.h>

// Bytes gathered before a write to the patch file.
#define PATCH_OUTPUT_SIZE (256u * 1024u)

// A patch being written to a file that stays the caller's.
struct PatchOutput {
    HANDLE file;
    unsigned char *buffer;   // PATCH_OUTPUT_SIZE bytes, null before the start
    DWORD used;
    DWORD terminatorOffset;  // no record may begin here; both writers honour it
};

// Prepares output for writing to file at its position, with the magic
// gathered first and terminatorOffset as the offset no record begins at
// (IPS32_TERMINATOR_OFFSET, or a stand-in in tests). Returns 0 when no memory
// is given; output can be ended either way.
BOOL StartPatchOutput(PatchOutput *output, HANDLE file, DWORD terminatorOffset);

// Writes what is gathered to the file. Returns 0 when WriteFile fails or
// writes less than asked; the gathered bytes are dropped either way.
BOOL FlushPatchOutput(PatchOutput *output);

// Releases the block without writing what it holds.
void EndPatchOutput(PatchOutput *output);

// Room for size more bytes (at most PATCH_OUTPUT_SIZE) at the end of what is
// gathered, written out first when they would not fit; null when that fails.
// Inline, as writers call it for records of a few bytes.
inline unsigned char *ReserveInPatch(PatchOutput *output, DWORD size)
{
    if (PATCH_OUTPUT_SIZE - output->used < size && !FlushPatchOutput(output))
        return NULL;
    unsigned char *at = output->buffer + output->used;
    output->used += size;
    return at;
}

// Puts a record's head: its offset in 4 bytes and its size in 2, most
// significant first.
inline void PutRecordHead(unsigned char *record, DWORD offset, DWORD size)
{
    record[0] = (unsigned char)(offset >> 24);
    record[1] = (unsigned char)(offset >> 16);
    record[2] = (unsigned char)(offset >> 8);
    record[3] = (unsigned char)offset;
    record[4] = (unsigned char)(size >> 8);
    record[5] = (unsigned char)size;
}

// Puts a data record of size bytes (1 to 65535): 6 + size bytes.
inline void PutDataRecord(unsigned char *record, DWORD offset, const unsigned char *bytes, DWORD size)
{
    PutRecordHead(record, offset, size);
    memcpy(record + 6, bytes, size);
}

// Puts a data record of size bytes (1 to 8) with one 8-byte copy: 8 bytes
// from bytes on must be readable, and 14 from record on writable.
inline void PutShortDataRecord(unsigned char *record, DWORD offset, const unsigned char *bytes, DWORD size)
{
    PutRecordHead(record, offset, size);
    memcpy(record + 6, bytes, 8);
}

// Puts a record of a run of length bytes (1 to 65535) of value: 9 bytes.
inline void PutRunRecord(unsigned char *record, DWORD offset, DWORD length, unsigned char value)
{
    PutRecordHead(record, offset, 0);
    record[6] = (unsigned char)(length >> 8);
    record[7] = (unsigned char)length;
    record[8] = value;
}

// Appends size bytes of whole records (at most PATCH_OUTPUT_SIZE), put
// elsewhere. 0 when a write fails.
inline BOOL AppendRecords(PatchOutput *output, const unsigned char *records, DWORD size)
{
    unsigned char *into = ReserveInPatch(output, size);
    if (into != NULL)
        memcpy(into, records, size);
    return into != NULL;
}

// Append one record of size bytes (1 to 65535) or of a run of length bytes
// of value at offset, which must not be output's terminatorOffset, or the
// terminator. 0 when a write fails.
BOOL AppendDataRecord(PatchOutput *output, DWORD offset, const unsigned char *bytes, DWORD size);
BOOL AppendRunRecord(PatchOutput *output, DWORD offset, DWORD length, unsigned char value);
BOOL AppendTerminator(PatchOutput *output);

#endif
