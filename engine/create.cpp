#include "engine/create.h"

#include "engine/compare.h"
#include "engine/ips32.h"
#include "engine/shared.h"
#include "engine/smallest.h"
#include "platform/file_identity.h"
#include "platform/wide_compare.h"

#include <string.h>

static const char kModifiedSmallerText[] =
    N_("変更後のﾌｧｲﾙのｻｲｽﾞが、変更前のｻｲｽﾞよりも小さいためIPSを作成できません。");
static const char kCannotCreateText[] = N_("新規ﾌｧｲﾙを作成できません。");
static const char kCreateErrorText[] = N_("作成中にｴﾗｰが発生しました。");
static const char kCreatedText[] = N_("IPS32ﾌｧｲﾙ %s を作成しました。");
static const char kCreatingText[] = N_("作成中...");

static_assert(FitsEngineText(sizeof kModifiedSmallerText) && FitsEngineText(sizeof kCreatedText),
              "ENGINE_TEXT_SIZE is too small");

BOOL StartPatchOutput(PatchOutput *output, HANDLE file)
{
    output->file = file;
    output->used = 0;
    output->terminatorOffset = IPS32_TERMINATOR_OFFSET;
    output->buffer = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, PATCH_OUTPUT_SIZE);
    return output->buffer != NULL;
}

BOOL FlushPatchOutput(PatchOutput *output)
{
    DWORD written = 0;
    BOOL ok = output->used == 0 ||
              (WriteFile(output->file, output->buffer, output->used, &written, NULL) && written == output->used);
    output->used = 0;
    return ok;
}

void EndPatchOutput(PatchOutput *output)
{
    if (output->buffer != NULL)
        HeapFree(GetProcessHeap(), 0, output->buffer);
    output->buffer = NULL;
    output->used = 0;
}

static_assert(PATCH_OUTPUT_SIZE >= 6 + IPS32_MAX_RECORD_SIZE, "a record must fit the output buffer");

// Room for size more bytes (at most PATCH_OUTPUT_SIZE) at the end of what is
// gathered, written out first when they would not fit; null when that fails.
static inline unsigned char *ReserveInPatch(PatchOutput *output, DWORD size)
{
    if (PATCH_OUTPUT_SIZE - output->used < size && !FlushPatchOutput(output))
        return NULL;
    unsigned char *at = output->buffer + output->used;
    output->used += size;
    return at;
}

// Puts a record's head: its offset in 4 bytes and its size in 2, most
// significant first.
static inline void PutHead(unsigned char *record, DWORD offset, DWORD size)
{
    record[0] = (unsigned char)(offset >> 24);
    record[1] = (unsigned char)(offset >> 16);
    record[2] = (unsigned char)(offset >> 8);
    record[3] = (unsigned char)offset;
    record[4] = (unsigned char)(size >> 8);
    record[5] = (unsigned char)size;
}

BOOL AppendDataRecord(PatchOutput *output, DWORD offset, const unsigned char *bytes, DWORD size)
{
    unsigned char *record = ReserveInPatch(output, 6 + size);
    if (record == NULL)
        return 0;
    PutHead(record, offset, size);
    memcpy(record + 6, bytes, size);
    return 1;
}

BOOL AppendRunRecord(PatchOutput *output, DWORD offset, DWORD length, unsigned char value)
{
    unsigned char *record = ReserveInPatch(output, 9);
    if (record == NULL)
        return 0;
    PutHead(record, offset, 0);
    record[6] = (unsigned char)(length >> 8);
    record[7] = (unsigned char)length;
    record[8] = value;
    return 1;
}

BOOL AppendTerminator(PatchOutput *output)
{
    unsigned char *terminator = ReserveInPatch(output, IPS32_TERMINATOR_SIZE);
    if (terminator != NULL)
        memcpy(terminator, IPS32_TERMINATOR, IPS32_TERMINATOR_SIZE);
    return terminator != NULL;
}

static const DWORD kMaxPiece = IPS32_MAX_RECORD_SIZE;

// A run of differing bytes that arrives in parts, a buffer at a time, and
// leaves the records WritePatchRecord gives for it whole. Its form is known
// only at its end: while all its bytes are equal, only their value and count
// are kept and nothing is written; once another byte arrives, the run is in
// data form from its start, and its bytes collect in the output's buffer
// right behind the head of the record they will go out in.
struct PatchRun {
    PatchOutput *output;
    DWORD offset;         // target offset of the first byte in no record yet
    DWORD count;          // bytes from offset on in no record yet
    BOOL uniform;         // all count bytes are value: the run is in no data record yet
    unsigned char value;
};

static void BeginRun(PatchRun &run, PatchOutput *output, DWORD offset)
{
    run = {output, offset, 0, 1, 0};
}

// Where the data piece being collected lies: behind its record's head.
static inline unsigned char *PieceBytes(const PatchRun &run)
{
    return run.output->buffer + run.output->used + 6;
}

// Room behind what is gathered for a whole data piece and its head, written
// out first when there is not; 0 when that fails.
static BOOL MakeRoomForPiece(PatchOutput *output)
{
    return PATCH_OUTPUT_SIZE - output->used >= 6 + kMaxPiece || FlushPatchOutput(output);
}

// Puts the record's head before the first size bytes of the piece; the bytes
// after them, if any, begin the next piece.
static void ClosePiece(PatchRun &run, DWORD size)
{
    unsigned char *record = run.output->buffer + run.output->used;
    PutHead(record, run.offset, size);
    run.output->used += 6 + size;
    run.offset += size;
    run.count -= size;
}

// Adds count bytes to a run in data form: those at bytes, or count times value
// when bytes is null. A full piece goes out once a byte after it has arrived,
// a byte short when the next piece would otherwise begin at the terminator's
// offset: that piece then begins a byte earlier.
static BOOL AddData(PatchRun &run, const unsigned char *bytes, unsigned char value, DWORD count)
{
    while (count > 0) {
        if (run.count == kMaxPiece) {
            unsigned char last = PieceBytes(run)[kMaxPiece - 1];
            ClosePiece(run, run.offset + kMaxPiece == run.output->terminatorOffset ? kMaxPiece - 1 : kMaxPiece);
            if (!MakeRoomForPiece(run.output))
                return 0;
            if (run.count == 1)
                PieceBytes(run)[0] = last;
        }
        DWORD take = count < kMaxPiece - run.count ? count : kMaxPiece - run.count;
        if (bytes != NULL) {
            memcpy(PieceBytes(run) + run.count, bytes, take);
            bytes += take;
        } else {
            memset(PieceBytes(run) + run.count, value, take);
        }
        run.count += take;
        count -= take;
    }
    return 1;
}

// How many of the count bytes at bytes, from the first, are value.
static DWORD CountLeading(unsigned char value, const unsigned char *bytes, DWORD count)
{
    const uint64_t pattern = 0x0101010101010101ull * value;
    DWORD i = 0;
    while (count - i >= 8 && Load64(bytes + i) == pattern)
        i += 8;
    while (i < count && bytes[i] == value)
        ++i;
    return i;
}

// Adds the next count bytes of the modified file to the run. At the run's first
// byte, bytes[-1] must be readable (see WritePatchRecord).
static BOOL AddToRun(PatchRun &run, const unsigned char *bytes, DWORD count)
{
    if (count == 0)
        return 1;
    if (run.uniform) {
        if (run.count == 0) {
            if (run.offset == run.output->terminatorOffset) {
                // Begin a byte earlier with a data record of the byte before
                // and the first byte: writing that byte before again changes
                // nothing. The rest is written as a run of its own.
                if (!AppendDataRecord(run.output, run.offset - 1, bytes - 1, 2))
                    return 0;
                ++run.offset;
                ++bytes;
                if (--count == 0)
                    return 1;
            }
            run.value = bytes[0];
        }
        DWORD same = CountLeading(run.value, bytes, count);
        if (same == count) {
            run.count += count;
            return 1;
        }
        // A byte unlike the first: data form from the run's start, whose
        // bytes so far are all the first one.
        DWORD equal = run.count + same;
        run.count = 0;
        run.uniform = 0;
        if (!MakeRoomForPiece(run.output) || !AddData(run, NULL, run.value, equal))
            return 0;
        bytes += same;
        count -= same;
    }
    return AddData(run, bytes, 0, count);
}

// Writes what is left of the run: the last data piece, or a run of equal bytes
// in run form when it is longer than 3 bytes, else as data.
static BOOL EndRun(PatchRun &run)
{
    if (!run.uniform) {
        ClosePiece(run, run.count);
        return 1;
    }
    if (run.count <= 3) {
        const unsigned char bytes[3] = {run.value, run.value, run.value};
        return run.count == 0 || AppendDataRecord(run.output, run.offset, bytes, run.count);
    }
    while (run.count > 0) {
        DWORD piece = run.count < kMaxPiece ? run.count : kMaxPiece;
        // The next piece must not begin at the terminator's offset, so this
        // one ends a byte short and the next begins a byte earlier.
        if (piece < run.count && run.offset + piece == run.output->terminatorOffset)
            --piece;
        if (!AppendRunRecord(run.output, run.offset, piece, run.value))
            return 0;
        run.offset += piece;
        run.count -= piece;
    }
    return 1;
}

BOOL WritePatchRecord(DWORD offset, DWORD length, const unsigned char *bytes, PatchOutput *output)
{
    PatchRun run;
    BeginRun(run, output, offset);
    return AddToRun(run, bytes, length) && EndRun(run);
}

// Finds where the bytes of the two files in one window begin and stop
// differing, from a mask of 64 positions at a time.
struct ChangeScanner {
    const unsigned char *original;  // both readable WIDE_COMPARE_SIZE bytes beyond size
    const unsigned char *modified;
    DWORD size;                     // positions in the window
    DWORD base;                     // the position of bit 0 of differ
    uint64_t differ;                // bit k: the files differ at base + k
};

// Bits 0 to count - 1, all 64 from 64 on.
static inline uint64_t LowBits(DWORD count)
{
    return count >= 64 ? ~0ull : (1ull << count) - 1;
}

// Moves the scanner to the 64 positions from base on; positions past the
// window's end count as neither differing nor equal.
static inline void ScanAt(ChangeScanner &scan, DWORD base)
{
    scan.base = base;
    scan.differ = DifferenceMask(scan.original + base, scan.modified + base) & LowBits(scan.size - base);
}

// The first position from `from` on (at most 64 past the scanner's base) where
// the files differ; the window's size when there is none.
static DWORD NextDifferent(ChangeScanner &scan, DWORD from)
{
    uint64_t left = from - scan.base < 64 ? scan.differ & ~LowBits(from - scan.base) : 0;
    while (left == 0) {
        DWORD base = scan.base + 64;
        if (base >= scan.size)
            return scan.size;
        // Equal stretches are long: whole blocks are passed over with one test each.
        while (scan.size - base > 64 && SameWide(scan.original + base, scan.modified + base))
            base += 64;
        ScanAt(scan, base);
        left = scan.differ;
    }
    return scan.base + LowestSetBit(left);
}

// The first position from `from` on (at most 64 past the scanner's base) where
// the files are equal; the window's size when there is none.
static DWORD NextEqual(ChangeScanner &scan, DWORD from)
{
    uint64_t valid = LowBits(scan.size - scan.base);
    uint64_t left = from - scan.base < 64 ? ~scan.differ & valid & ~LowBits(from - scan.base) : 0;
    while (left == 0) {
        if (scan.size - scan.base <= 64)
            return scan.size;
        ScanAt(scan, scan.base + 64);
        left = ~scan.differ & LowBits(scan.size - scan.base);
    }
    return scan.base + LowestSetBit(left);
}

// An input file, open for the whole comparison.
struct Input {
    const char *path;
    HANDLE file;
    DWORD size;
    FileStamp stamp;  // as it was opened
};

// Opens input.path for reading, shared with other readers only, and takes its
// size and stamp. Returns 0 when it cannot be opened, its size cannot be
// taken, or it is 4 GiB or larger; the file is closed again then.
static BOOL OpenInput(Input &input)
{
    input.file = CreateFileA(input.path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             NULL);
    if (input.file == INVALID_HANDLE_VALUE)
        return 0;
    if (TakeFileStamp(input.file, &input.stamp) && input.stamp.size < ((int64_t)1 << 32)) {
        input.size = (DWORD)input.stamp.size;
        return 1;
    }
    CloseHandle(input.file);
    return 0;
}

// Whether input is as it was when it was opened; a failure to tell counts as
// a change.
static bool Unchanged(const Input &input)
{
    FileStamp now;
    return TakeFileStamp(input.file, &now) && SameStamp(input.stamp, now);
}

// The buffers both inputs are read into, a window of the same positions at a
// time, and the run that the last window ended in.
struct Comparison {
    Input original;
    Input modified;
    DWORD readSize;
    unsigned char *originalBytes;  // readSize bytes, and WIDE_COMPARE_SIZE to read past the end
    unsigned char *modifiedBytes;  // the same, and the byte before the window at [-1]
    DWORD windowSize;              // bytes in the window last read
    const char *textPath;          // what the result text names: the patch, or the input that could not be read
    PatchRun run;
};

// Reads the next window of size bytes of the modified file and, withOriginal,
// of the original too. The last byte of the modified file's
// window before is kept at modifiedBytes[-1]. Returns 0 when an input cannot be
// read or ends before (it shrank since it was measured).
static BOOL ReadWindow(Comparison &compare, DWORD size, bool withOriginal)
{
    if (compare.windowSize > 0)
        compare.modifiedBytes[-1] = compare.modifiedBytes[compare.windowSize - 1];
    compare.windowSize = size;
    DWORD read = 0;
    if (withOriginal && !(ReadFile(compare.original.file, compare.originalBytes, size, &read, NULL) && read == size)) {
        compare.textPath = compare.original.path;
        return 0;
    }
    if (!(ReadFile(compare.modified.file, compare.modifiedBytes, size, &read, NULL) && read == size)) {
        compare.textPath = compare.modified.path;
        return 0;
    }
    return 1;
}

// Writes a record for every run of differing bytes within the original's
// length, then the modified file's tail as a run of its own. Returns null on
// success, else the failure's text (naming compare.textPath).
static const char *WriteDifferences(Comparison &compare, PatchOutput *output, HWND window, UINT progressMessage)
{
    ProgressThrottle progress = {0, 0};
    const DWORD end = compare.original.size;
    BOOL open = 0;  // the run that reaches the end of the window before
    for (DWORD at = 0; at < end; at += compare.windowSize) {
        if (!ReadWindow(compare, end - at < compare.readSize ? end - at : compare.readSize, true))
            return kCannotOpenText;
        ChangeScanner scan = {compare.originalBytes, compare.modifiedBytes, compare.windowSize, 0, 0};
        ScanAt(scan, 0);
        const unsigned char *bytes = compare.modifiedBytes;
        DWORD i = 0;
        while (open || (i = NextDifferent(scan, i)) < scan.size) {
            DWORD runEnd = NextEqual(scan, i);
            if (runEnd == scan.size) {
                // The run goes on in the next window, or ends with the original.
                if (!open)
                    BeginRun(compare.run, output, at + i);
                open = 1;
                if (!AddToRun(compare.run, bytes + i, runEnd - i))
                    return kCreateErrorText;
                break;
            }
            ReportProgress(progress, at + runEnd, end, kCreatingText, progressMessage, window);
            // Runs of up to 3 bytes, most of a dense change, are data records
            // with nothing to decide unless they begin at the terminator's offset.
            BOOL written = open ? AddToRun(compare.run, bytes + i, runEnd - i) && EndRun(compare.run)
                           : runEnd - i <= 3 && at + i != output->terminatorOffset
                               ? AppendDataRecord(output, at + i, bytes + i, runEnd - i)
                               : WritePatchRecord(at + i, runEnd - i, bytes + i, output);
            if (!written)
                return kCreateErrorText;
            open = 0;
            i = runEnd;
        }
    }
    // A run that reaches the end of the original sends no progress.
    if (open && !EndRun(compare.run))
        return kCreateErrorText;
    if (compare.modified.size == end)
        return NULL;
    BeginRun(compare.run, output, end);
    for (DWORD at = end; at < compare.modified.size; at += compare.windowSize) {
        DWORD left = compare.modified.size - at;
        if (!ReadWindow(compare, left < compare.readSize ? left : compare.readSize, false))
            return kCannotOpenText;
        if (!AddToRun(compare.run, compare.modifiedBytes, compare.windowSize))
            return kCreateErrorText;
    }
    return EndRun(compare.run) ? NULL : kCreateErrorText;
}

// Hands both files to the smallest writer a window at a time (the bytes both
// have, then the modified file's tail), with progress over the modified file.
// Returns as WriteDifferences does.
static const char *WriteSmallestDifferences(Comparison &compare, PatchOutput *output, HWND window,
                                            UINT progressMessage)
{
    SmallestPatch *smallest = StartSmallestPatch(output, SMALLEST_WINDOW);
    if (smallest == NULL)
        return kCreateErrorText;
    ProgressThrottle progress = {0, 0};
    const DWORD end = compare.original.size, size = compare.modified.size;
    const char *failure = NULL;
    for (DWORD at = 0; failure == NULL && at < size; at += compare.windowSize) {
        bool both = at < end;
        DWORD left = (both ? end : size) - at;
        if (!ReadWindow(compare, left < compare.readSize ? left : compare.readSize, both))
            failure = kCannotOpenText;
        else if (!(both ? AddSmallestBytes(smallest, compare.originalBytes, compare.modifiedBytes, compare.windowSize)
                        : AddSmallestTail(smallest, compare.modifiedBytes, compare.windowSize)))
            failure = kCreateErrorText;
        else if (at + compare.windowSize < size)
            ReportProgress(progress, at + compare.windowSize, size, kCreatingText, progressMessage, window);
    }
    if (failure == NULL && !EndSmallestPatch(smallest))
        failure = kCreateErrorText;
    FreeSmallestPatch(smallest);
    return failure;
}

// WriteDifferences or WriteSmallestDifferences.
typedef const char *(*DifferenceWriter)(Comparison &compare, PatchOutput *output, HWND window,
                                        UINT progressMessage);

// Where the patch goes: an open file, or a path to make it at once the inputs
// have been checked.
struct PatchDestination {
    HANDLE file;      // the open patch file; INVALID_HANDLE_VALUE when it could not be made
    const char *path; // its name in the texts
    BOOL makeAtPath;  // made at path (CREATE_ALWAYS) and closed here
    DWORD error;      // why file could not be made, for the last error of that failure
};

// Writes the whole patch into the destination with writer, then checks that
// neither input changed while it was read. Returns null on success, else the
// text of the failure; a file made here is closed on every path.
static const char *WritePatchFile(DifferenceWriter writer, Comparison &compare, const PatchDestination &patch,
                                  DWORD terminatorOffset, HWND window, UINT progressMessage, BOOL *patchCreated)
{
    HANDLE file = patch.makeAtPath ? CreateFileA(patch.path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                                 FILE_ATTRIBUTE_NORMAL, NULL)
                                   : patch.file;
    if (file == INVALID_HANDLE_VALUE) {
        if (!patch.makeAtPath)
            SetLastError(patch.error);
        return kCannotCreateText;
    }
    if (patchCreated != NULL)
        *patchCreated = patch.makeAtPath;
    PatchOutput output = {file, NULL, 0, 0};
    const char *failure = kCreateErrorText;
    if (WritePatchHeader(file) && StartPatchOutput(&output, file)) {
        output.terminatorOffset = terminatorOffset;
        failure = writer(compare, &output, window, progressMessage);
        if (failure == NULL && !(AppendTerminator(&output) && FlushPatchOutput(&output)))
            failure = kCreateErrorText;
    }
    EndPatchOutput(&output);
    if (patch.makeAtPath && !CloseHandle(file) && failure == NULL)
        failure = kCreateErrorText;
    if (failure != NULL)
        return failure;
    const Input *changed = !Unchanged(compare.original) ? &compare.original
                           : !Unchanged(compare.modified) ? &compare.modified
                                                          : NULL;
    if (changed == NULL)
        return NULL;
    compare.textPath = changed->path;
    return kChangedText;
}

const CreateTuning kCreateTuning = {256u * 1024u, IPS32_TERMINATOR_OFFSET};

// The body of every creation: opens both inputs, checks their sizes and has
// writer write the patch.
static BOOL CreateWith(DifferenceWriter writer, const CreateTuning &tuning, const char *originalPath,
                       const char *modifiedPath, const PatchDestination &patch, char *message, DWORD messageSize,
                       HWND window, UINT progressMessage, BOOL *patchCreated)
{
    if (patchCreated != NULL)
        *patchCreated = 0;
    if (originalPath == NULL || modifiedPath == NULL || patch.path == NULL)
        return 0;
    if (window != NULL)
        SendMessageA(window, progressMessage, 0, (LPARAM)Translated(kGettingFileInfoText));

    // Both windows with room to compare a wide block past their end, and the
    // byte before the modified file's window.
    const size_t bufferSize = (size_t)tuning.readSize + WIDE_COMPARE_SIZE;
    unsigned char *buffers = (unsigned char *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 2 * bufferSize + 1);
    Comparison compare = {{originalPath, NULL, 0, {}}, {modifiedPath, NULL, 0, {}}, tuning.readSize, buffers,
                          buffers + bufferSize + 1, 0, patch.path, {}};
    // Memory for the buffers counts as what opening the original needs.
    if (buffers == NULL || !OpenInput(compare.original)) {
        if (buffers != NULL)
            HeapFree(GetProcessHeap(), 0, buffers);
        SetEngineText(message, messageSize, kCannotOpenText, originalPath);
        return 0;
    }
    if (!OpenInput(compare.modified)) {
        CloseHandle(compare.original.file);
        HeapFree(GetProcessHeap(), 0, buffers);
        SetEngineText(message, messageSize, kCannotOpenText, modifiedPath);
        return 0;
    }
    const char *failure = compare.original.size > compare.modified.size
                              ? kModifiedSmallerText
                              : WritePatchFile(writer, compare, patch, tuning.terminatorOffset, window,
                                               progressMessage, patchCreated);
    CloseHandle(compare.original.file);
    CloseHandle(compare.modified.file);
    HeapFree(GetProcessHeap(), 0, buffers);
    return EndEngineCall(failure, kCreatedText, compare.textPath, message, messageSize, window, progressMessage);
}

BOOL CreatePatchTo(HANDLE patch, const char *patchName, const char *originalPath, const char *modifiedPath,
                   BOOL smallest, char *message, DWORD messageSize, HWND window, UINT progressMessage)
{
    return CreateWith(smallest ? WriteSmallestDifferences : WriteDifferences, kCreateTuning, originalPath,
                      modifiedPath, {patch, patchName, FALSE, GetLastError()}, message, messageSize, window, progressMessage, NULL);
}

BOOL CreatePatch(const char *originalPath, const char *modifiedPath, const char *patchPath,
                 char *message, DWORD messageSize, HWND window, UINT progressMessage,
                 BOOL *patchCreated)
{
    return CreatePatchWith(kCreateTuning, originalPath, modifiedPath, patchPath, message, messageSize, window,
                           progressMessage, patchCreated);
}

BOOL CreatePatchWith(const CreateTuning &tuning, const char *originalPath, const char *modifiedPath,
                     const char *patchPath, char *message, DWORD messageSize, HWND window,
                     UINT progressMessage, BOOL *patchCreated)
{
    return CreateWith(WriteDifferences, tuning, originalPath, modifiedPath, {INVALID_HANDLE_VALUE, patchPath, TRUE, 0},
                      message, messageSize, window, progressMessage, patchCreated);
}

BOOL CreateSmallestPatch(const char *originalPath, const char *modifiedPath, const char *patchPath,
                         char *message, DWORD messageSize, HWND window, UINT progressMessage,
                         BOOL *patchCreated)
{
    return CreateWith(WriteSmallestDifferences, kCreateTuning, originalPath, modifiedPath,
                      {INVALID_HANDLE_VALUE, patchPath, TRUE, 0}, message, messageSize, window, progressMessage,
                      patchCreated);
}
