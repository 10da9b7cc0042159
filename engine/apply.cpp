#include "engine/engine.h"

#include "engine/ips32.h"
#include "engine/patch_reader.h"
#include "engine/shared.h"
#include "platform/advice.h"
#include "platform/owned.h"
#include "platform/stream.h"

#include <stdlib.h>
#include <string.h>

static const char kNotIps32Text[] = N_("%sは、IPS32ﾌｧｲﾙではありません。");
static const char kCannotOpenForWritingText[] = N_("%sを書き込みﾓｰﾄﾞで開けません。");
static const char kNoSizeText[] = N_("ﾌｧｲﾙのｻｲｽﾞを取得できません。");
static const char kNoMemoryText[] = N_("ﾒﾓﾘｰの確保に失敗しました。");
static const char kNoTerminatorText[] = N_("FEOFが見つかりません。");
static const char kCannotWriteText[] = N_("%sに書き込めません。");
static const char kPatchedText[] = N_("%sは正常にﾊﾟｯﾁされました。");
static const char kPatchingText[] = N_("ﾊﾟｯﾁ処理中...");

static_assert(FitsEngineText(sizeof kNotIps32Text) && FitsEngineText(sizeof kCannotOpenForWritingText) &&
                  FitsEngineText(sizeof kCannotWriteText) && FitsEngineText(sizeof kPatchedText),
              "ENGINE_TEXT_SIZE is too small");

#ifdef ZORVIK_FUZZ_SIZES
// The fuzz build gathers a few bytes at a time, so that its small targets
// reach every boundary below.
static const DWORD kBlockSize = 67;
static const DWORD kMaxGap = 13;
#else
// Records bound for the target are gathered in a block while they begin
// within this many bytes of its start.
static const DWORD kBlockSize = 256 * 1024;
// Records at most this far apart share the block; the bytes between them are
// read from the target and written back unchanged.
static const DWORD kMaxGap = 4096;
#endif

// The block lies at the same offset within this many bytes as the target
// position it begins at: the system's copy between memory and a file at
// another offset can be several times slower.
static const DWORD kBlockAlignment = 64;
// The target's block holds the last record that begins in it whole, and room
// to align it.
static const DWORD kBlockBufferSize = kBlockSize + IPS32_MAX_RECORD_SIZE + kBlockAlignment;
// The stretch of the target the system is asked to bring into its cache
// ahead of the records, and how far ahead of them it is asked again.
static const uint64_t kAdviseStretch = 8u << 20;
static const uint64_t kAdviseAgain = 4u << 20;

// Writes to the target, gathered: a patch of many small records close together
// costs a few large positioned writes instead of one per record.
struct TargetWriter {
    FILE *file;
    HANDLE handle;          // the same file, for the hints to the system
    unsigned char *buffer;  // kBlockBufferSize bytes, the block within them
    unsigned char *block;
    uint64_t start;         // target position of block[0]
    DWORD used;             // block[0, used) is still to be written
    DWORD loaded;           // block[used, loaded) holds the target's own bytes
    DWORD loadedBefore;     // what the block before had loaded when it was written out
    uint64_t advised;       // the system was asked to bring in the target up to here
};

static BOOL FlushTarget(TargetWriter &target)
{
    if (target.used == 0)
        return 1;
    BOOL written = WriteStreamAt(target.file, target.block, target.used, (int64_t)target.start) == 0;
    target.loadedBefore = target.loaded;
    target.used = 0;
    target.loaded = 0;
    return written;
}

// Fills block[loaded, end) with the target's bytes at those positions. Past the
// target's end they are zero, which is what they read as once a record beyond
// them has made the target longer.
static BOOL LoadTarget(TargetWriter &target, DWORD end)
{
    DWORD want = end - target.loaded;
    int64_t got = ReadStreamAt(target.file, target.block + target.loaded, want,
                               (int64_t)(target.start + target.loaded));
    if (got < 0)
        return 0;
    memset(target.block + target.loaded + got, 0, want - (DWORD)got);
    target.loaded = end;
    return 1;
}

// Has the system bring in the target ahead of a block that begins at offset,
// so that records in parts of pages it does not hold (a target not in the
// cache, or one too large for it) wait for long reads rather than one page
// each.
static void AdviseAhead(TargetWriter &target, uint64_t offset)
{
    if (offset + kAdviseAgain <= target.advised)
        return;
    const uint64_t from = offset > target.advised ? offset : target.advised;
    AdviseWillChange(target.handle, from, offset + kAdviseStretch - from);
    target.advised = offset + kAdviseStretch;
}

// Makes the block reach the target position offset with the target's own
// bytes loaded up to it. What the block held is written out first unless
// offset lies within its first kBlockSize bytes and at most kMaxGap past what
// it has loaded. 0 when a write or read fails.
static BOOL ReachInTarget(TargetWriter &target, uint64_t offset)
{
    if (target.used == 0 || offset < target.start || offset - target.start >= kBlockSize ||
        offset - target.start > target.loaded + kMaxGap) {
        if (!FlushTarget(target))
            return 0;
        target.start = offset;
        target.block = target.buffer + (offset - (uintptr_t)target.buffer) % kBlockAlignment;
        AdviseAhead(target, offset);
    }
    DWORD at = (DWORD)(offset - target.start);
    if (at <= target.loaded)
        return 1;
    // The target's bytes up to the record are needed; as many again as the
    // block holds, or as the block before came to load, are read ahead with
    // them, so that records close together cost a read per doubling of the
    // first block and about one a block after it, and scattered ones little
    // more than their gaps.
    DWORD ahead = target.loaded > target.loadedBefore ? target.loaded : target.loadedBefore;
    return LoadTarget(target, at + (ahead < kBlockSize - at ? ahead : kBlockSize - at));
}

// Whether the block reaches the target position offset with the target's own
// bytes loaded up to it, so that a record there can be placed at once.
static inline bool ReadyFor(const TargetWriter &target, uint64_t offset)
{
    return target.used != 0 && offset >= target.start && offset - target.start <= target.loaded &&
           offset - target.start < kBlockSize;
}

// Where in the block the size bytes (at least 1) for the target position
// offset go, once the block reaches it.
static inline unsigned char *TakeInBlock(TargetWriter &target, uint64_t offset, DWORD size)
{
    DWORD at = (DWORD)(offset - target.start);
    if (at + size > target.used)
        target.used = at + size;
    if (target.loaded < target.used)
        target.loaded = target.used;
    return target.block + at;
}

// Where in the block the size bytes (at least 1) for the target position
// offset go; null when a write or read fails. Dense patches find the block
// ready for most records, so that test comes first, inline.
static inline unsigned char *PlaceInTarget(TargetWriter &target, uint64_t offset, DWORD size)
{
    if (!ReadyFor(target, offset) && !ReachInTarget(target, offset))
        return NULL;
    return TakeInBlock(target, offset, size);
}

// Writes a record's bytes: size data bytes, or for size 0 length times the
// run's value (data[2]). Short records, most of a dense patch, cost less
// without a call.
static inline void CopyRecord(unsigned char *dest, DWORD size, DWORD length, const unsigned char *data)
{
    if (size > 8)
        memcpy(dest, data, size);
    else if (size >= 4) {
        // Two copies of four bytes, overlapping where size is less than 8.
        memcpy(dest, data, 4);
        memcpy(dest + size - 4, data + size - 4, 4);
    } else if (size >= 2) {
        memcpy(dest, data, 2);
        memcpy(dest + size - 2, data + size - 2, 2);
    } else if (size != 0)
        dest[0] = data[0];
    else
        memset(dest, data[2], length);
}

// The two bytes at bytes as they lie, to tell a field equal to another.
static inline uint16_t Field16(const unsigned char *bytes)
{
    uint16_t value;
    memcpy(&value, bytes, sizeof value);
    return value;
}

// Data records of one size that ApplyReadyRecords takes as a batch.
static const DWORD kBatch = 8;

// Applies the kBatch data records of size bytes each (not 0) that follow each
// other from record on, into the block at block, whose first byte is at the
// target position start and which holds no terminator offset, when each has
// the size field sizeField and they ascend within the block up to loaded:
// then the block is ready for each, and ApplyReadyRecords would take each.
// All are checked before any is written; false, with nothing written, when
// they are not such records.
static inline bool ApplyBatch(const unsigned char *record, DWORD size, uint16_t sizeField, unsigned char *block,
                              uint64_t start, DWORD &used, DWORD &loaded)
{
    const DWORD take = 6 + size;
    // Below the block's start, an offset wraps past every limit.
    const uint64_t highest = (uint64_t)BigEndian32(record + (kBatch - 1) * take) - start;
    if (highest > loaded || highest >= kBlockSize)
        return false;
    uint64_t at[kBatch];
#pragma GCC unroll 8
    for (DWORD k = 0; k < kBatch; ++k) {
        const unsigned char *fields = record + k * take;
        at[k] = (uint64_t)BigEndian32(fields) - start;
        if (Field16(fields + 4) != sizeField || (k > 0 && at[k] < at[k - 1]))
            return false;
    }
#pragma GCC unroll 8
    for (DWORD k = 0; k < kBatch; ++k)
        CopyRecord(block + at[k], size, size, record + k * take + 6);
    if (highest + size > used)
        used = (DWORD)(highest + size);
    if (loaded < used)
        loaded = used;
    return true;
}

// Applies batches (ApplyBatch) of the data records of size bytes each from
// chunk[next] on, as long as a whole batch lies before chunk[last] and can
// be applied so; returns where the first record not applied begins.
static inline DWORD ApplyBatchesOf(const unsigned char *chunk, DWORD next, DWORD last, DWORD size,
                                   unsigned char *block, uint64_t start, DWORD &used, DWORD &loaded)
{
    const DWORD stride = kBatch * (6 + size);
    const uint16_t sizeField = Field16(chunk + next + 4);
    DWORD batchUsed = used, batchLoaded = loaded;
    while (last - next >= stride &&
           ApplyBatch(chunk + next, size, sizeField, block, start, batchUsed, batchLoaded))
        next += stride;
    used = batchUsed;
    loaded = batchLoaded;
    return next;
}

// ApplyBatchesOf, with the size known when compiled for records of one byte,
// the densest patches. Kept apart, so that its values have the registers to
// themselves.
__attribute__((noinline)) static DWORD ApplyBatches(const unsigned char *chunk, DWORD next, DWORD last, DWORD size,
                                                    unsigned char *block, uint64_t start, DWORD &used, DWORD &loaded)
{
    return size == 1 ? ApplyBatchesOf(chunk, next, last, 1, block, start, used, loaded)
                     : ApplyBatchesOf(chunk, next, last, size, block, start, used, loaded);
}

// Applies the records that can be applied with no step but the copy: each
// lies whole in the patch's chunk, is no terminator, writes nothing or where
// the block is ready (ReadyFor), and its offset ends before the patch
// position progressAt, where progress is next due. Stops at the first other
// one. Most records of a dense patch are such. The block's fields are kept
// in locals, which the bytes written cannot alias, and records with the same
// size field as the one before are taken at the same stride: where each
// begins is then known before the one before is read, so that they are read
// side by side, data records in batches where they can. Kept out of its
// caller, whose values would otherwise crowd its own out of the registers.
__attribute__((noinline)) static void ApplyReadyRecords(PatchReader &patch, TargetWriter &target, uint64_t progressAt)
{
    if (target.used == 0)
        return;
    unsigned char *const block = target.block;
    const uint64_t start = target.start;
    DWORD used = target.used, loaded = target.loaded;
    const unsigned char *const chunk = patch.chunk;
    const DWORD end = patch.end;
    const uint64_t chunkAt = patch.position - patch.next;
    const uint64_t before = progressAt > chunkAt + 4 ? progressAt - chunkAt - 4 : 0;
    // Records that begin before last have the fields of a run in the chunk.
    const DWORD headed = end > 8 ? end - 8 : 0;
    const DWORD last = before < headed ? (DWORD)before : headed;
    DWORD next = patch.next;
    bool ready = true;
    // No batch is taken where the block could reach the terminator's offset.
    const bool batches = IPS32_TERMINATOR_OFFSET - start >= kBlockSize;
    while (ready && next < last) {
        const uint16_t sizeField = Field16(chunk + next + 4);
        const DWORD size = BigEndian16(chunk + next + 4), take = 6 + (size != 0 ? size : 3);
        // Data records are taken in batches where the first batch's last
        // record has the same size field as its first.
        if (size != 0 && batches && last - next >= kBatch * take &&
            Field16(chunk + next + (kBatch - 1) * take + 4) == sizeField) {
            const DWORD from = next;
            next = ApplyBatches(chunk, next, last, size, block, start, used, loaded);
            if (next != from)
                continue;
        }
        do {
            const unsigned char *record = chunk + next;
            const DWORD offset = BigEndian32(record), length = size != 0 ? size : BigEndian16(record + 6);
            // Below the block's start, at wraps past every loaded size.
            const uint64_t at = (uint64_t)offset - start;
            ready = offset != IPS32_TERMINATOR_OFFSET && end - next >= take &&
                    (length == 0 || (at <= loaded && at < kBlockSize));
            if (!ready)
                break;
            if (length != 0) {
                CopyRecord(block + at, size, length, record + 6);
                if (at + length > used)
                    used = (DWORD)at + length;
                if (loaded < used)
                    loaded = used;
            }
            next += take;
        } while (next < last && Field16(chunk + next + 4) == sizeField);
    }
    target.used = used;
    target.loaded = loaded;
    patch.position += next - patch.next;
    patch.next = next;
}

// Applies the records that follow the magic, up to the terminator. Returns
// null when the terminator was reached, else the text of the failure. Records
// may still be held by the target writer either way.
static const char *ApplyRecords(PatchReader &patch, uint64_t patchSize, TargetWriter &target, HWND window,
                                UINT progressMessage)
{
    ProgressThrottle progress = {0, 0};
    for (;;) {
        ApplyReadyRecords(patch, target, window != NULL ? progress.next : UINT64_MAX);
        const unsigned char *field = TakeFromPatch(patch, 4);
        if (field == NULL)
            return kNoTerminatorText;
        ReportProgress(progress, patch.position, patchSize, kPatchingText, progressMessage, window);
        if (memcmp(field, IPS32_TERMINATOR, IPS32_TERMINATOR_SIZE) == 0)
            return NULL;
        uint64_t offset = BigEndian32(field);
        // A data record is taken whole before anything of it is written: bytes
        // that the end of the patch cuts short are not applied.
        RecordBody body;
        if (!TakeRecordBody(patch, body))
            return kNoTerminatorText;
        if (body.length == 0)
            continue;
        unsigned char *dest = PlaceInTarget(target, offset, body.length);
        if (dest == NULL)
            return kCannotWriteText;
        CopyRecord(dest, body.size, body.length, body.bytes);
    }
}

// Runs the record loop over both open files; returns null on success, else the
// text of the failure. Whatever was applied has reached the target's file when
// it returns.
static const char *ApplyToTarget(FILE *patchFile, int64_t patchSize, FILE *targetFile, HANDLE targetHandle,
                                 HWND window, UINT progressMessage)
{
    if (patchSize < 0 || MeasureStream(targetFile) < 0)
        return kNoSizeText;
    // The block lies last, so that a write past it leaves the allocation.
    unsigned char *buffers = (unsigned char *)malloc(PATCH_READER_SIZE + kBlockBufferSize);
    if (buffers == NULL)
        return kNoMemoryText;
    // The patch is read on a second thread where there is one, while its
    // records are applied here.
    PatchReadAhead ahead;
    PatchReader patch = {patchFile, buffers, 0, 0, IPS32_MAGIC_SIZE,
                         ahead.Start(patchFile, IPS32_MAGIC_SIZE) ? &ahead : NULL};
    TargetWriter target = {targetFile, targetHandle, buffers + PATCH_READER_SIZE, buffers + PATCH_READER_SIZE,
                           0, 0, 0, 0, 0};
    const char *failure = ApplyRecords(patch, (uint64_t)patchSize, target, window, progressMessage);
    // Records before a failing one stay applied, so what is gathered goes out
    // on every path.
    if (!FlushTarget(target) && failure == NULL)
        failure = kCannotWriteText;
    free(buffers);
    return failure;
}

// Opens the patch at patchPath into patch, unbuffered, and reads its size and
// stamp and its magic. Fails, naming it, when it cannot be opened or is no
// IPS32 patch.
static Failure OpenPatch(const char *patchPath, OwnedStream &patch, int64_t *size, FileStamp *stamp)
{
    patch.Reset(OpenStream(patchPath, "rb"));
    if (patch.get() == NULL || !TakeStreamStamp(patch.get(), stamp))
        return {kCannotOpenText, patchPath};
    // Both files are read and written in large pieces of the engine's own.
    setvbuf(patch.get(), NULL, _IONBF, 0);
    *size = MeasureStream(patch.get());
    char magic[IPS32_MAGIC_SIZE];
    if (fread(magic, 1, sizeof magic, patch.get()) != sizeof magic || memcmp(magic, IPS32_MAGIC, sizeof magic) != 0)
        return {kNotIps32Text, patchPath};
    return kNoFailure;
}

// Fails, naming the patch, when it is not as it was when stamped; a failure
// to tell counts as a change.
static Failure CheckUnchanged(const OwnedStream &patch, const char *patchPath, const FileStamp &before)
{
    FileStamp after;
    if (TakeStreamStamp(patch.get(), &after) && SameStamp(before, after))
        return kNoFailure;
    return {kChangedText, patchPath};
}

BOOL ApplyPatchTo(HANDLE target, const char *targetName, const char *patchPath, char *message, DWORD messageSize,
                  HWND window, UINT progressMessage)
{
    if (targetName == NULL || patchPath == NULL)
        return 0;
    if (window != NULL)
        SendMessageA(window, progressMessage, 0, (LPARAM)Translated(kGettingFileInfoText));

    OwnedStream patch, stream;
    int64_t patchSize = -1;
    FileStamp stamp;
    Failure failure = OpenPatch(patchPath, patch, &patchSize, &stamp);
    if (failure.text == NULL) {
        stream.Reset(target != INVALID_HANDLE_VALUE ? OpenStreamOn(target, "r+b") : NULL);
        if (stream.get() == NULL)
            failure = {kCannotOpenForWritingText, targetName};
    }
    if (failure.text == NULL) {
        setvbuf(stream.get(), NULL, _IONBF, 0);
        failure = {ApplyToTarget(patch.get(), patchSize, stream.get(), target, window, progressMessage), targetName};
    }
    if (failure.text == NULL)
        failure = CheckUnchanged(patch, patchPath, stamp);
    // Both streams are closed before "done" goes out, so that a target that
    // fails to close is reported as the failure it is.
    patch.Close();
    if (!stream.Close() && failure.text == NULL)
        failure = {kCannotWriteText, targetName};
    return EndEngineCall(failure, kPatchedText, targetName, message, messageSize, window, progressMessage);
}

BOOL ApplyPatch(const char *targetPath, const char *patchPath, char *message, DWORD messageSize,
                HWND window, UINT progressMessage)
{
    if (targetPath == NULL || patchPath == NULL)
        return 0;
    OwnedHandle target(CreateFileA(targetPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, NULL));
    BOOL applied = ApplyPatchTo(target.get(), targetPath, patchPath, message, messageSize, window, progressMessage);
    if (!target.Close() && applied) {
        SetEngineText(message, messageSize, kCannotWriteText, targetPath);
        applied = 0;
    }
    return applied;
}
