#include "engine/engine.h"

#include "engine/patch_reader.h"
#include "platform/stream.h"

#include <stdlib.h>
#include <string.h>

// Counts record into summary.
static void Count(PatchSummary *summary, const PatchRecordInfo &record)
{
    ++(record.run ? summary->runRecords : summary->dataRecords);
    if (record.length == 0)
        return;
    const uint64_t last = (uint64_t)record.offset + record.length - 1;
    if (!WritesAny(*summary) || record.offset < summary->lowest)
        summary->lowest = record.offset;
    if (!WritesAny(*summary) || last > summary->highest)
        summary->highest = last;
    (record.run ? summary->runBytes : summary->dataBytes) += record.length;
}

// The condition where the next field could not be taken at the record that
// begins at start.
static PatchCondition Broken(PatchReader &patch, uint64_t start, PatchSummary *summary)
{
    summary->brokenAt = start;
    if (ferror(patch.file))
        return kPatchCannotRead;
    return patch.position == start && patch.end == patch.next ? kPatchNoTerminator : kPatchCutRecord;
}

// Reads the records after the magic up to the terminator, and what follows it.
static PatchCondition ReadRecords(PatchReader &patch, PatchSummary *summary, PatchRecordVisitor visit,
                                  void *context)
{
    for (;;) {
        const uint64_t start = patch.position;
        const unsigned char *field = TakeFromPatch(patch, 4);
        if (field == NULL)
            return Broken(patch, start, summary);
        if (memcmp(field, IPS32_TERMINATOR, IPS32_TERMINATOR_SIZE) == 0)
            break;
        const DWORD offset = BigEndian32(field);
        RecordBody body;
        if (!TakeRecordBody(patch, body))
            return Broken(patch, start, summary);
        const BOOL run = body.size == 0;
        const PatchRecordInfo record = {start, offset, body.length, run, (unsigned char)(run ? body.bytes[2] : 0),
                                        run ? NULL : body.bytes};
        Count(summary, record);
        if (visit != NULL)
            visit(record, context);
    }
    summary->trailing = patch.end - patch.next;
    DWORD got;
    while ((got = (DWORD)fread(patch.chunk, 1, PATCH_CHUNK_SIZE, patch.file)) > 0)
        summary->trailing += got;
    if (ferror(patch.file)) {
        summary->brokenAt = patch.position + summary->trailing;
        return kPatchCannotRead;
    }
    return kPatchWellFormed;
}

BOOL InspectPatch(const char *path, PatchSummary *summary, PatchRecordVisitor visit, void *context)
{
    memset(summary, 0, sizeof *summary);
    FILE *file = OpenStream(path, "rb");
    unsigned char *chunk = (unsigned char *)malloc(PATCH_READER_SIZE);
    if (file == NULL || chunk == NULL) {
        summary->condition = kPatchCannotOpen;
    } else {
        setvbuf(file, NULL, _IONBF, 0);
        PatchReader patch = {file, chunk, 0, 0, 0, NULL};
        const unsigned char *magic = TakeFromPatch(patch, IPS32_MAGIC_SIZE);
        if (magic == NULL && ferror(file))
            summary->condition = kPatchCannotRead;
        else if (magic == NULL || memcmp(magic, IPS32_MAGIC, IPS32_MAGIC_SIZE) != 0)
            summary->condition = kPatchNotIps32;
        else
            summary->condition = ReadRecords(patch, summary, visit, context);
    }
    free(chunk);
    if (file != NULL)
        fclose(file);
    return summary->condition == kPatchWellFormed;
}

// The file a patch is held against, and whether it still holds every record.
struct AppliedCheck {
    FILE *file;
    int64_t size;
    BOOL holds;
    unsigned char bytes[4096];
};

static void CheckRecord(const PatchRecordInfo &record, void *context)
{
    AppliedCheck *check = (AppliedCheck *)context;
    if (!check->holds || record.length == 0)
        return;
    if ((int64_t)record.offset + record.length > check->size) {
        check->holds = 0;
        return;
    }
    for (DWORD done = 0; check->holds && done < record.length;) {
        DWORD piece = record.length - done < sizeof check->bytes ? record.length - done : (DWORD)sizeof check->bytes;
        if (ReadStreamAt(check->file, check->bytes, piece, (int64_t)record.offset + done) != piece)
            check->holds = 0;
        for (DWORD i = 0; check->holds && i < piece; ++i)
            check->holds = check->bytes[i] == (record.run ? record.value : record.data[done + i]);
        done += piece;
    }
}

BOOL IsPatchApplied(const char *patchPath, const char *targetPath)
{
    AppliedCheck check = {OpenStream(targetPath, "rb"), -1, 1, {}};
    if (check.file == NULL)
        return 0;
    // Unbuffered, so that only the bytes records write are read.
    setvbuf(check.file, NULL, _IONBF, 0);
    check.size = MeasureStream(check.file);
    PatchSummary summary;
    BOOL applied = check.size >= 0 && InspectPatch(patchPath, &summary, CheckRecord, &check) && check.holds;
    fclose(check.file);
    return applied;
}
