// The default writer's records: a stretch of changed bytes as one or more
// records, for creation and its tests.
#ifndef ZORVIK_ENGINE_CREATE_H
#define ZORVIK_ENGINE_CREATE_H

#include "engine/patch_writer.h"

// Appends the run of length bytes (at least 1) that go at offset in the target
// as one or more records: run form when length is above 3 and all the bytes
// are equal, else data form; pieces of at most 65535 bytes, in order. No record
// begins at output's terminatorOffset, whose bytes read as the terminator: a
// piece that would is made to begin a byte earlier. So when offset is the
// terminator offset, bytes[-1] must be readable and hold the byte the target
// is to have at offset - 1 (the byte before in the modified file).
// Returns 1, or 0 as soon as a write fails. offset + length must not exceed
// 2^32.
BOOL WritePatchRecord(DWORD offset, DWORD length, const unsigned char *bytes, PatchOutput *output);

#endif
