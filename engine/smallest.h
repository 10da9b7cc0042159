// The smallest patch: of all patches whose records do not overlap and come in
// ascending order of offset, one with the fewest bytes.
#ifndef ZORVIK_ENGINE_SMALLEST_H
#define ZORVIK_ENGINE_SMALLEST_H

#include "engine/patch_writer.h"

#include <stdint.h>

// Positions of the files held at a time by default (a power of two): 2 MiB of
// each file and about 24 MiB in all.
#define SMALLEST_WINDOW (1u << 21)
// The fewest positions a window may hold.
#define SMALLEST_WINDOW_MIN (1u << 18)

// Chooses the records under the format's costs: 6 + n bytes for a data record
// of n bytes, 9 for a run record, each of 1 to 65535 bytes, none beginning at
// the output's terminator offset. A byte equal in both files may be left alone or be
// written over with its own value, so neighbouring changes share one data
// record when the bytes between cost less than a new record's header, and a
// changed stretch of one repeated value becomes a run record, equal bytes of
// that value inside it included. Past the original's end, zero bytes need no
// record as long as a later record lengthens the target past them (the
// target reads as zero there); the modified file's last byte is always
// written, so that the target ends where the modified file does.
//
// The files are handed over in order, in pieces of any size: first the bytes
// both files have, then the modified file's tail. Records are appended to the
// output as soon as every way on would keep them, in ascending order. Memory
// stays at the window whatever the files' size. The patch is the smallest
// there is as long as the ways on part for less than half a window; where
// they stay apart longer (a long changed area with sparse equal bytes, whose
// early piece boundaries depend on where it ends), a quarter window is taken
// as it stands, for at most 9 bytes more per quarter window.
struct SmallestPatch;

// A writer that appends to output (which stays the caller's and must outlive
// it), holding window positions (SMALLEST_WINDOW, or a power of two of at
// least SMALLEST_WINDOW_MIN). Null when no memory is given.
SmallestPatch *StartSmallestPatch(PatchOutput *output, DWORD window);

// What a reader thread may find of a piece of both files ahead of
// AddSmallestBytes, while the bytes are in its cache: the piece's changed
// stretches from its start on, in order, as AddSmallestBytes finds them, and
// the record of each that every smallest patch writes as it stands (most of
// them, where changes are short and far apart). It stops where its room is
// full; AddSmallestBytes finds the rest, from `scanned` on.
#define SMALLEST_FOUND_STRETCHES 4096u
#define SMALLEST_FOUND_ROOM (64u * 1024u)

struct FoundStretch {
    DWORD at, end;     // in the piece
    DWORD recordsEnd;  // where its record ends in records: the one before's where it has none
};

struct FoundStretches {
    DWORD count;
    DWORD scanned;  // every stretch that begins before it is listed
    FoundStretch stretch[SMALLEST_FOUND_STRETCHES];
    unsigned char records[SMALLEST_FOUND_ROOM + 8];  // room for a short record's bytes copied as one word
};

// Finds the stretches of the count positions of both files from position
// base on, into found, for an output whose terminator offset is
// terminatorOffset; with AVX2 where avx2.
void FindSmallestStretches(const unsigned char *original, const unsigned char *modified, DWORD count,
                           uint64_t base, uint64_t terminatorOffset, bool avx2, FoundStretches *found);

// The next count bytes of both files, at the positions that follow those
// handed over before, with what a reader found of them, or null. 0 when a
// write to the output failed, now or before.
BOOL AddSmallestBytes(SmallestPatch *patch, const unsigned char *original, const unsigned char *modified,
                      DWORD count, const FoundStretches *found);

// The next count bytes of the modified file past the original's end; once
// the tail has begun, no more bytes of both files follow. 0 as above.
BOOL AddSmallestTail(SmallestPatch *patch, const unsigned char *modified, DWORD count);

// Appends the records still held back. 1 when every record was appended; the
// terminator is the caller's.
BOOL EndSmallestPatch(SmallestPatch *patch);

// Releases the writer's memory (null does nothing); records held back are lost.
void FreeSmallestPatch(SmallestPatch *patch);

#endif
