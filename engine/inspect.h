// What a patch holds, read through to its end without applying it.
#ifndef ZORVIK_ENGINE_INSPECT_H
#define ZORVIK_ENGINE_INSPECT_H

#include "platform/win32.h"

#include <stdint.h>

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
