#ifndef ZORVIK_ENGINE_CREATE_H
#define ZORVIK_ENGINE_CREATE_H

#include "platform/win32.h"

// Compares the original with the modified file (at least as large) and writes
// an IPS32 patch at patchPath that turns the one into the other. Returns 1 when
// the whole patch, terminator included, was written, else 0. Writes one line of
// result text into message (cut to messageSize; nothing when message is null)
// and sends progressMessage notifications to window (nothing when null): 0
// "getting file information" first, throttled steps as differing runs end,
// and 100 "done" on success only, once the patch file is complete and closed.
// The patch file exists from the moment it was created, also after a failure;
// the engine never deletes it. When patchCreated is not null it receives 1 once
// the patch file has been created (emptied), 0 when the call ended before, so
// that a caller deletes only what the engine wrote. All three paths are
// required: a null one returns 0 with no notification and no text. Both inputs
// stay open for the whole comparison, readable by others but by no writer, and
// are read once from start to end through buffers of a fixed size, so memory
// does not grow with the files (up to 4 GiB - 1 bytes each). An input that
// cannot be opened, is 4 GiB or larger or has no size fails before the patch
// file is created; one that cannot be read to the size it had when opened
// fails with the same text ("cannot open", naming it) after the patch file
// was created, and one that is written to meanwhile with a text of its own.
BOOL CreatePatch(const char *originalPath, const char *modifiedPath, const char *patchPath,
                 char *message, DWORD messageSize, HWND window, UINT progressMessage,
                 BOOL *patchCreated);

// CreatePatch, or with smallest CreateSmallestPatch, writing the patch into
// the open file patch (opened for writing, empty; it stays the caller's) under
// the name patchName in the texts. INVALID_HANDLE_VALUE for patch fails as a
// patch file that cannot be made, at the moment the file would be made, with
// the last error as it was when the call began (why it could not be made). An
// input written to while it is read fails with a text that names it.
BOOL CreatePatchTo(HANDLE patch, const char *patchName, const char *originalPath, const char *modifiedPath,
                   BOOL smallest, char *message, DWORD messageSize, HWND window, UINT progressMessage);

// What CreatePatch is tuned to. Tests and the fuzzer pass small values to
// CreatePatchWith, so that runs cross buffer boundaries and meet the offset no
// record may begin at with files of a few bytes; the patch is the same for
// every read size.
struct CreateTuning {
    DWORD readSize;          // bytes read from each input at a time; at least 1
    DWORD terminatorOffset;  // no record begins here; at least 1
};

// CreatePatch, with the smallest patch the format allows (see
// engine/smallest.h) in place of one record per stretch of changed bytes.
// Progress steps go out as the modified file is worked through.
BOOL CreateSmallestPatch(const char *originalPath, const char *modifiedPath, const char *patchPath,
                         char *message, DWORD messageSize, HWND window, UINT progressMessage,
                         BOOL *patchCreated);

// The tuning of CreatePatch: 256 KiB reads, IPS32_TERMINATOR_OFFSET.
extern const CreateTuning kCreateTuning;

// CreatePatch with the given tuning.
BOOL CreatePatchWith(const CreateTuning &tuning, const char *originalPath, const char *modifiedPath,
                     const char *patchPath, char *message, DWORD messageSize, HWND window,
                     UINT progressMessage, BOOL *patchCreated);

// Bytes gathered before a write to the patch file.
#define PATCH_OUTPUT_SIZE (256u * 1024u)

// Writes bound for a patch file, gathered in a block of the process heap so
// that records of a few bytes do not cost a system call each.
struct PatchOutput {
    HANDLE file;
    unsigned char *buffer;  // PATCH_OUTPUT_SIZE bytes, null before the start
    DWORD used;
    DWORD terminatorOffset;  // no record begins here (a stand-in in tests)
};

// Prepares output for writing to file (which stays the caller's), with
// IPS32_TERMINATOR_OFFSET as the offset no record begins at. Returns 0 when
// no memory is given; output can be ended either way.
BOOL StartPatchOutput(PatchOutput *output, HANDLE file);

// Writes what is gathered to the file. Returns 0 when WriteFile fails or
// writes less than asked; the gathered bytes are dropped either way.
BOOL FlushPatchOutput(PatchOutput *output);

// Releases the block without writing what it holds.
void EndPatchOutput(PatchOutput *output);

// Append one record of size bytes (1 to 65535) or of a run of length bytes
// of value at offset, which must not be output's terminatorOffset, or the
// terminator. 0 when a write fails.
BOOL AppendDataRecord(PatchOutput *output, DWORD offset, const unsigned char *bytes, DWORD size);
BOOL AppendRunRecord(PatchOutput *output, DWORD offset, DWORD length, unsigned char value);
BOOL AppendTerminator(PatchOutput *output);

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
