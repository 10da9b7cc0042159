// The engine as jobs and front ends see it: applying, creating and inspecting
// IPS32 patches. The patch reader and writer, the smallest writer and what
// they share stay inside engine/.
#ifndef ZORVIK_ENGINE_ENGINE_H
#define ZORVIK_ENGINE_ENGINE_H

#include "platform/win32.h"

#include <stdint.h>

// ---- applying

// A message buffer of this size holds every result text of the engines with a
// path of 259 bytes, in either build's encoding.
#define ENGINE_TEXT_SIZE 512

// Applies the IPS32 patch at patchPath to the open file target in place
// (opened for reading and writing; it stays the caller's), whose name for the
// texts is targetName. Everything else as ApplyPatch; INVALID_HANDLE_VALUE
// for target fails as a target that cannot be opened for writing, once the
// patch has been found to be IPS32. The patch must not change while it is
// read: one written to meanwhile fails with a text that names it.
BOOL ApplyPatchTo(HANDLE target, const char *targetName, const char *patchPath, char *message, DWORD messageSize,
                  HWND window, UINT progressMessage);

// Applies the IPS32 patch at patchPath to the file at targetPath in place,
// each record at exactly its offset (the whole 32-bit range). Returns 1 when
// the terminator was reached after every record before it was written and the
// target was closed, else 0; a failed write or close of the target is a
// failure. Records before a failing one stay applied; bytes of a record that
// the end of the patch cuts short are not written. Writes one line of result
// text into message (cut to messageSize; nothing when message is null). Sends
// progressMessage notifications to window (nothing when window is null): 0
// "getting file information" first, throttled steps while records are read,
// and 100 "done" on success only, once both files are closed. Never deletes
// anything; closes every file it opened. A null path returns 0 at once.
BOOL ApplyPatch(const char *targetPath, const char *patchPath, char *message, DWORD messageSize,
                HWND window, UINT progressMessage);

// ---- creating

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
// record may begin at with files of a few bytes, and have the readers compare
// or not and map the files or not, so that every way of comparing is taken;
// the patch is the same for every tuning.
struct CreateTuning {
    DWORD readSize;          // bytes of each input read and compared at a time; at least 1
    DWORD terminatorOffset;  // no record begins here; at least 1
    bool readersCompare;     // the readers take on the first steps of comparing each window: finding
                             // its stretches and writing the records of short ones
    bool readersMap = true;  // the readers map the files where views fail safely, else read them
};

// CreatePatch, with the smallest patch the format allows (see
// engine/smallest.h) in place of one record per stretch of changed bytes.
// Progress steps go out as the modified file is worked through.
BOOL CreateSmallestPatch(const char *originalPath, const char *modifiedPath, const char *patchPath,
                         char *message, DWORD messageSize, HWND window, UINT progressMessage,
                         BOOL *patchCreated);

// The tuning of CreatePatch: 256 KiB reads, IPS32_TERMINATOR_OFFSET, the
// readers comparing.
extern const CreateTuning kCreateTuning;

// CreatePatch with the given tuning.
BOOL CreatePatchWith(const CreateTuning &tuning, const char *originalPath, const char *modifiedPath,
                     const char *patchPath, char *message, DWORD messageSize, HWND window,
                     UINT progressMessage, BOOL *patchCreated);

// ---- inspecting

// 1 when the file at path starts with the five bytes "IPS32"; 0 for a null
// path, a file that cannot be opened, or one that starts otherwise.
BOOL IsIps32File(const char *path);

// How a patch stands once read.
enum PatchCondition {
    kPatchWellFormed,    // magic, whole records, terminator
    kPatchCannotOpen,    // the file cannot be opened
    kPatchCannotRead,    // reading failed at brokenAt
    kPatchNotIps32,      // it does not begin with "IPS32"
    kPatchCutRecord,     // the record at brokenAt ends early
    kPatchNoTerminator,  // it ends at brokenAt, where a record or the terminator belongs
};

// One record as it stands in the patch.
struct PatchRecordInfo {
    uint64_t at;          // its position in the patch
    DWORD offset;         // where it writes in the target
    DWORD length;         // bytes it writes: data bytes, or the run's length
    BOOL run;             // run form (then value is the byte it repeats)
    unsigned char value;
    const unsigned char *data;  // a data record's bytes, there only during the call
};

// The patch's records, up to where it ends or breaks.
struct PatchSummary {
    PatchCondition condition;
    uint64_t brokenAt;                 // where it breaks, when it does
    uint64_t dataRecords, runRecords;  // run records of length 0 included
    uint64_t dataBytes, runBytes;      // bytes the records of each form write
    uint64_t lowest, highest;          // the first and last offset written, when any
    uint64_t trailing;                 // bytes after the terminator
};

// Whether any record of the summary writes a byte.
inline bool WritesAny(const PatchSummary &summary)
{
    return summary.dataBytes + summary.runBytes != 0;
}

// Called for each whole record, in the patch's order.
typedef void (*PatchRecordVisitor)(const PatchRecordInfo &record, void *context);

// Reads the patch at path to its end and fills summary. visit (when not null)
// is called with context for every whole record. Returns 1 when the patch is
// well formed. Reads through a buffer of a fixed size; opens nothing else.
BOOL InspectPatch(const char *path, PatchSummary *summary, PatchRecordVisitor visit, void *context);

// 1 when the patch at patchPath is well formed and every record writes just
// the bytes that the file at targetPath holds there, none past its end, so
// that applying it would change nothing; 0 otherwise, also when a file
// cannot be read. Reads the file only where records write.
BOOL IsPatchApplied(const char *patchPath, const char *targetPath);

#endif
