#include "engine/create.h"

#include "engine/compare.h"
#include "engine/engine.h"
#include "engine/ips32.h"
#include "engine/patch_reader.h"
#include "engine/patch_writer.h"
#include "engine/read_ahead.h"
#include "engine/shared.h"
#include "engine/smallest.h"
#include "platform/file_identity.h"
#include "platform/owned.h"

#include <string.h>

static const char kModifiedSmallerText[] =
    N_("変更後のﾌｧｲﾙのｻｲｽﾞが、変更前のｻｲｽﾞよりも小さいためIPSを作成できません。");
static const char kCannotCreateText[] = N_("新規ﾌｧｲﾙを作成できません。");
static const char kCreateErrorText[] = N_("作成中にｴﾗｰが発生しました。");
static const char kCreatedText[] = N_("IPS32ﾌｧｲﾙ %s を作成しました。");
static const char kCreatingText[] = N_("作成中...");

static_assert(FitsEngineText(sizeof kModifiedSmallerText) && FitsEngineText(sizeof kCreatedText),
              "ENGINE_TEXT_SIZE is too small");

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
    PutRecordHead(record, run.offset, size);
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
    const unsigned char *original;  // both readable READ_AHEAD_SLACK bytes beyond size
    const unsigned char *modified;
    DWORD size;                     // positions in the window
    DWORD base;                     // the position of bit 0 of differ
    uint64_t differ;                // bit k: the files differ at base + k
    const uint64_t *changed;        // the blocks that differ (MarkChangedBlocks), or null
};

static_assert(READ_AHEAD_SLACK >= WIDE_COMPARE_SIZE, "a wide compare at a window's end must stay readable");

// Bits 0 to count - 1, all 64 from 64 on.
static inline uint64_t LowBits(DWORD count)
{
    return count >= 64 ? ~0ull : (1ull << count) - 1;
}

// Moves the scanner to the 64 positions from base on; positions past the
// window's end count as neither differing nor equal.
template <class Wide>
static inline void ScanAt(ChangeScanner &scan, DWORD base)
{
    scan.base = base;
    scan.differ = Wide::DifferenceMask(scan.original + base, scan.modified + base) & LowBits(scan.size - base);
}

// The first block from base on that is marked as differing, or the window's
// last block, which is always compared.
static inline DWORD NextMarkedBlock(const ChangeScanner &scan, DWORD base)
{
    const DWORD last = (scan.size - 1) / WIDE_COMPARE_SIZE;
    DWORD block = base / WIDE_COMPARE_SIZE;
    uint64_t marks = scan.changed[block / 64] & ~LowBits(block % 64);
    while (marks == 0 && (block = (block / 64 + 1) * 64) < last)
        marks = scan.changed[block / 64];
    if (marks != 0)
        block = block / 64 * 64 + LowestSetBit(marks);
    return (block < last ? block : last) * WIDE_COMPARE_SIZE;
}

// The first position from `from` on (at most 64 past the scanner's base) where
// the files differ; the window's size when there is none.
template <class Wide>
static inline DWORD NextDifferent(ChangeScanner &scan, DWORD from)
{
    uint64_t left = from - scan.base < 64 ? scan.differ & ~LowBits(from - scan.base) : 0;
    while (left == 0) {
        DWORD base = scan.base + 64;
        if (base >= scan.size)
            return scan.size;
        // Equal stretches are long: whole blocks are passed over with one test
        // each, or at once where the reader marked those that differ.
        if (scan.changed != NULL)
            base = NextMarkedBlock(scan, base);
        else
            while (scan.size - base > 64 && Wide::Same(scan.original + base, scan.modified + base))
                base += 64;
        ScanAt<Wide>(scan, base);
        left = scan.differ;
    }
    return scan.base + LowestSetBit(left);
}

// The first position from `from` on (at most 64 past the scanner's base) where
// the files are equal; the window's size when there is none.
template <class Wide>
static inline DWORD NextEqual(ChangeScanner &scan, DWORD from)
{
    uint64_t valid = LowBits(scan.size - scan.base);
    uint64_t left = from - scan.base < 64 ? ~scan.differ & valid & ~LowBits(from - scan.base) : 0;
    while (left == 0) {
        if (scan.size - scan.base <= 64)
            return scan.size;
        ScanAt<Wide>(scan, scan.base + 64);
        left = ~scan.differ & LowBits(scan.size - scan.base);
    }
    return scan.base + LowestSetBit(left);
}

// An input file, open for the whole comparison.
struct Input {
    const char *path;
    OwnedHandle file;
    DWORD size;
    FileStamp stamp;  // as it was opened
};

// Opens input.path for reading from start to end, shared with other readers
// only, and takes its size and stamp. Fails, naming it, when it cannot be
// opened, its size cannot be taken, or it is 4 GiB or larger.
static Failure OpenInput(Input &input)
{
    input.file.Reset(CreateFileA(input.path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL));
    if (input.file.valid() && TakeFileStamp(input.file.get(), &input.stamp) &&
        input.stamp.size < ((int64_t)1 << 32)) {
        input.size = (DWORD)input.stamp.size;
        return kNoFailure;
    }
    return {kCannotOpenText, input.path};
}

// Fails, naming the input, when it is not as it was when it was opened; a
// failure to tell counts as a change.
static Failure CheckUnchanged(const Input &input)
{
    FileStamp now;
    if (TakeFileStamp(input.file.get(), &now) && SameStamp(input.stamp, now))
        return kNoFailure;
    return {kChangedText, input.path};
}

// What the readers' task knows of the comparison.
struct ReaderWork {
    size_t markWords;        // words of marks for a window
    DWORD terminatorOffset;  // no record begins here
    bool avx2;               // the processor has AVX2
};

// Both inputs, the windows they are read in, the window being compared, and
// the run that the window before ended in.
struct Comparison {
    Input original;
    Input modified;
    ReadAhead reader;
    Window window;
    PatchRun run;
    bool avx2;        // the processor has AVX2
    ReaderWork work;  // what the readers' task knows
};

// Takes the next window of the files (see WindowPlan). Fails, naming the
// input, when it cannot be read or ends before (it shrank since it was
// measured).
static Failure NextWindow(Comparison &compare)
{
    bool failedModified = false;
    if (compare.reader.Next(&compare.window, &failedModified))
        return kNoFailure;
    return {kCannotOpenText, failedModified ? compare.modified.path : compare.original.path};
}

// The longest stretch that a reader writes the record of: one record, whose
// bytes the reader's room holds many times over.
static const DWORD kReaderStretchMax = 1024;
static_assert(kReaderStretchMax <= IPS32_MAX_RECORD_SIZE, "a reader's stretch takes one record");

// Puts the one record WritePatchRecord gives for a stretch of 1 to
// kReaderStretchMax bytes at offset, not the terminator's offset (8 bytes from
// bytes on are readable): a run record when all of more than 3 bytes are
// equal, else a data record. Returns its size; up to 14 bytes from record on
// may be written. Stretches of up to 8 bytes, most of a dense change, are
// tested at once, as a byte loop mispredicts its end.
static inline DWORD PutStretchRecord(unsigned char *record, DWORD offset, const unsigned char *bytes, DWORD length)
{
    if (length > 8) {
        if (CountLeading(bytes[0], bytes, length) == length) {
            PutRunRecord(record, offset, length, bytes[0]);
            return 9;
        }
        PutDataRecord(record, offset, bytes, length);
        return 6 + length;
    }
    // The stretch's bytes are the low ones of the word.
    const uint64_t own = ~0ull >> (8 * (8 - length));
    if (length > 3 && ((LoadWord(bytes) ^ bytes[0] * 0x0101010101010101ull) & own) == 0) {
        PutRunRecord(record, offset, length, bytes[0]);
        return 9;
    }
    PutShortDataRecord(record, offset, bytes, length);
    return 6 + length;
}

// Appends the records WritePatchRecord gives for a stretch of length bytes at
// offset that ends before the window does (8 bytes from bytes on are
// readable). Short stretches take a path of their own where there is nothing
// to decide.
static inline BOOL AppendStretch(PatchOutput *output, DWORD offset, const unsigned char *bytes, DWORD length)
{
    if (length > 8 || offset == output->terminatorOffset)
        return WritePatchRecord(offset, length, bytes, output);
    unsigned char *record = ReserveInPatch(output, 6 + 8);
    if (record == NULL)
        return 0;
    // Only the record's own bytes of the 14 reserved are kept.
    output->used -= 14 - PutStretchRecord(record, offset, bytes, length);
    return 1;
}

// What a reader leaves in each window of both files, in its scratch: the
// marks of the blocks that differ (MarkChangedBlocks), then the records of
// the stretches that lie whole within the window, have at most
// kReaderStretchMax bytes and do not begin at the terminator's offset, in
// segments. A segment holds the records of the stretches that begin from
// `from` on, up to `to`, where the caller goes on comparing: at a stretch the
// reader left, the last one (which may go on into the next window), or the
// window's end. The first stretch, which may go on from the window before,
// is always left, and so are the rest of the window's once its room for
// records or segments is full. Where no stretch is left, the window is whole:
// the caller compares none of it and needs none of its bytes.
static const DWORD kReaderSegments = 64;
static const DWORD kReaderRecordRoom = 64 * 1024;

struct RecordSegment {
    DWORD from, to;  // positions in the window
    DWORD end;       // where its records end in the window's records
    DWORD lastEnd;   // where its last stretch ends, in the window
};

struct WindowRecords {
    bool whole;
    DWORD segments;
    RecordSegment segment[kReaderSegments];
    unsigned char records[kReaderRecordRoom];
};

static size_t MarkWords(DWORD readSize)
{
    return ((size_t)readSize + 64 * WIDE_COMPARE_SIZE - 1) / (64 * WIDE_COMPARE_SIZE);
}

static WindowRecords *RecordsIn(void *scratch, const ReaderWork &work)
{
    return (WindowRecords *)((uint64_t *)scratch + work.markWords);
}

// Fills a window's records (see WindowRecords) as a reader finds its
// stretches, in order.
struct RecordFiller {
    const Window &window;
    DWORD terminatorOffset;
    WindowRecords &out;
    RecordSegment *segment;  // the segment being filled, or null
    DWORD used;              // bytes of records so far
    DWORD resume;            // where the caller goes on once the reader stops
    bool whole;              // no stretch left to the caller so far

    // Takes the stretch from start up to end; false once the reader stops:
    // at the last stretch, or where its room is full.
    inline bool Take(DWORD start, DWORD end)
    {
        const DWORD length = end - start;
        if (end == window.size) {
            resume = start;
            whole = false;
            return false;
        }
        if (start == 0 || length > kReaderStretchMax || window.at + start == terminatorOffset) {
            if (segment != NULL)
                segment->to = start;
            segment = NULL;
            whole = false;
            return true;
        }
        if (kReaderRecordRoom - used < (length > 8 ? 6 + length : 6 + 8) ||
            (segment == NULL && out.segments == kReaderSegments)) {
            resume = start;
            whole = false;
            return false;
        }
        if (segment == NULL) {
            segment = &out.segment[out.segments++];
            segment->from = start;
        }
        used += PutStretchRecord(out.records + used, window.at + start, window.modified + start, length);
        segment->end = used;
        segment->lastEnd = end;
        return true;
    }
};

// Hands filler the stretches of the window's blocks that the marks give, in
// order, 64 positions at a time, until it stops. Positions past the window's
// end count as equal.
template <class Wide> static inline void FindStretches(const Window &window, const uint64_t *marks, RecordFiller &filler)
{
    const DWORD blocks = (window.size + WIDE_COMPARE_SIZE - 1) / WIDE_COMPARE_SIZE;
    const DWORD kNone = ~0u;
    DWORD open = kNone;   // where a stretch that runs to the end of block `next` - 1 begins
    DWORD next = 0;       // the block after the last one compared
    for (DWORD first = 0; first < blocks; first += 64) {
        for (uint64_t marked = marks[first / 64]; marked != 0; marked &= marked - 1) {
            const DWORD block = first + LowestSetBit(marked);
            const DWORD base = block * WIDE_COMPARE_SIZE;
            if (open != kNone && block != next) {
                if (!filler.Take(open, next * WIDE_COMPARE_SIZE))
                    return;
                open = kNone;
            }
            next = block + 1;
            uint64_t differ = Wide::DifferenceMask(window.original + base, window.modified + base) &
                              LowBits(window.size - base);
            if (open != kNone) {
                if (~differ == 0)
                    continue;
                const DWORD end = LowestSetBit(~differ);
                if (!filler.Take(open, base + end))
                    return;
                open = kNone;
                differ &= ~LowBits(end);
            }
            while (differ != 0) {
                const DWORD start = LowestSetBit(differ);
                const uint64_t equal = ~differ & ~LowBits(start);
                if (equal == 0) {
                    open = base + start;
                    break;
                }
                const DWORD end = LowestSetBit(equal);
                if (!filler.Take(base + start, base + end))
                    return;
                differ &= ~LowBits(end);
            }
        }
    }
    // A stretch open in the last marked block is left to the caller.
    if (open != kNone)
        filler.Take(open, window.size);
}

// A reader's task: marks the window's blocks that differ and writes the
// records of the stretches it may (see WindowRecords). Returns whether the
// caller needs the window's bytes: where it is not whole.
template <class Wide> static inline bool PrepareWindowWith(const Window &window, const ReaderWork &work, void *scratch)
{
    uint64_t *marks = (uint64_t *)scratch;
    MarkChangedBlocks<Wide>(window.original, window.modified, window.size, marks);
    WindowRecords &records = *RecordsIn(scratch, work);
    records.segments = 0;
    RecordFiller filler = {window, work.terminatorOffset, records, NULL, 0, window.size, true};
    FindStretches<Wide>(window, marks, filler);
    if (filler.segment != NULL)
        filler.segment->to = filler.resume;
    records.whole = filler.whole;
    return !filler.whole;
}

static bool PrepareWindowBaseline(const Window &window, const void *work, void *scratch)
{
    return PrepareWindowWith<BaselineCompare>(window, *(const ReaderWork *)work, scratch);
}

AVX2_FUNCTION static bool PrepareWindowAvx2(const Window &window, const void *work, void *scratch)
{
    return PrepareWindowWith<Avx2Compare>(window, *(const ReaderWork *)work, scratch);
}

// The smallest writer's readers find the window's stretches ahead of it,
// which then weighs the rest in the window's bytes.
static bool FindWindowStretches(const Window &window, const void *work, void *scratch)
{
    const ReaderWork &reader = *(const ReaderWork *)work;
    FindSmallestStretches(window.original, window.modified, window.size, window.at, reader.terminatorOffset,
                          reader.avx2, (FoundStretches *)scratch);
    return true;
}

// Writes a record for every stretch of differing bytes in the window that
// begins before limit, from i on. *open tells whether a stretch reached the
// window from the one before; on return, whether one reaches the next. 0
// when a write fails.
template <class Wide>
static inline BOOL WriteStretches(Comparison &compare, ChangeScanner &scan, DWORD i, DWORD limit, PatchOutput *output,
                                  BOOL *open, ProgressThrottle &progress, HWND window, UINT progressMessage)
{
    const DWORD at = compare.window.at;
    const unsigned char *bytes = compare.window.modified;
    while (*open || (i = NextDifferent<Wide>(scan, i)) < limit) {
        DWORD stretchEnd = NextEqual<Wide>(scan, i);
        if (stretchEnd == scan.size) {
            // The stretch goes on in the next window, or ends with the original.
            if (!*open)
                BeginRun(compare.run, output, at + i);
            *open = 1;
            return AddToRun(compare.run, bytes + i, stretchEnd - i);
        }
        ReportProgress(progress, at + stretchEnd, compare.original.size, kCreatingText, progressMessage, window);
        BOOL written = *open ? AddToRun(compare.run, bytes + i, stretchEnd - i) && EndRun(compare.run)
                             : AppendStretch(output, at + i, bytes + i, stretchEnd - i);
        if (!written)
            return 0;
        *open = 0;
        i = stretchEnd;
    }
    return 1;
}

// Appends the records a reader wrote, size bytes, with the progress their
// stretches' ends give. They are read back for that only where a step of it
// may fall among them.
static BOOL AppendReaderRecords(Comparison &compare, const unsigned char *records, DWORD size, DWORD lastEnd,
                                PatchOutput *output, ProgressThrottle &progress, HWND window, UINT progressMessage)
{
    if (!AppendRecords(output, records, size))
        return 0;
    if (window == NULL || compare.window.at + lastEnd < progress.next)
        return 1;
    for (DWORD k = 0; k < size;) {
        const unsigned char *record = records + k;
        const DWORD length = BigEndian16(record + 4);
        const DWORD bytes = length != 0 ? length : BigEndian16(record + 6);
        ReportProgress(progress, BigEndian32(record) + bytes, compare.original.size, kCreatingText, progressMessage,
                       window);
        k += length != 0 ? 6 + length : 9;
    }
    return 1;
}

// Appends the records of a whole window (see WindowRecords), whose bytes the
// caller does not have: a stretch open from the window before ends where it
// begins, its first byte being equal. 0 when a write fails.
static BOOL AppendWholeWindow(Comparison &compare, const WindowRecords &prepared, PatchOutput *output, BOOL *open,
                              ProgressThrottle &progress, HWND window, UINT progressMessage)
{
    if (*open) {
        ReportProgress(progress, compare.window.at, compare.original.size, kCreatingText, progressMessage, window);
        if (!EndRun(compare.run))
            return 0;
        *open = 0;
    }
    for (DWORD k = 0, written = 0; k < prepared.segments; written = prepared.segment[k++].end) {
        if (!AppendReaderRecords(compare, prepared.records + written, prepared.segment[k].end - written,
                                 prepared.segment[k].lastEnd, output, progress, window, progressMessage))
            return 0;
    }
    return 1;
}

// Writes a record for every stretch of differing bytes in the window: those
// the reader left, and the records it wrote, in their order. *open tells
// whether a stretch reached the window from the one before; on return,
// whether one reaches the next. 0 when a write fails.
template <class Wide>
static inline BOOL WriteWindowChangesWith(Comparison &compare, PatchOutput *output, BOOL *open,
                                          ProgressThrottle &progress, HWND window, UINT progressMessage)
{
    const Window &bytesWindow = compare.window;
    void *work = (void *)bytesWindow.work;
    const WindowRecords *prepared = work != NULL ? RecordsIn(work, compare.work) : NULL;
    if (prepared != NULL && prepared->whole)
        return AppendWholeWindow(compare, *prepared, output, open, progress, window, progressMessage);
    ChangeScanner scan = {bytesWindow.original, bytesWindow.modified, bytesWindow.size, 0, 0, (const uint64_t *)work};
    ScanAt<Wide>(scan, 0);
    DWORD i = 0, written = 0;
    for (DWORD k = 0; prepared != NULL && k < prepared->segments; ++k) {
        const RecordSegment &segment = prepared->segment[k];
        if (!WriteStretches<Wide>(compare, scan, i, segment.from, output, open, progress, window, progressMessage) ||
            !AppendReaderRecords(compare, prepared->records + written, segment.end - written, segment.lastEnd, output,
                                 progress, window, progressMessage))
            return 0;
        written = segment.end;
        i = segment.to;
        // The scanner stays on whole blocks, as the marks do.
        ScanAt<Wide>(scan, i / WIDE_COMPARE_SIZE * WIDE_COMPARE_SIZE);
    }
    return WriteStretches<Wide>(compare, scan, i, scan.size, output, open, progress, window, progressMessage);
}

static BOOL WriteWindowChangesBaseline(Comparison &compare, PatchOutput *output, BOOL *open,
                                       ProgressThrottle &progress, HWND window, UINT progressMessage)
{
    return WriteWindowChangesWith<BaselineCompare>(compare, output, open, progress, window, progressMessage);
}

AVX2_FUNCTION static BOOL WriteWindowChangesAvx2(Comparison &compare, PatchOutput *output, BOOL *open,
                                                 ProgressThrottle &progress, HWND window, UINT progressMessage)
{
    return WriteWindowChangesWith<Avx2Compare>(compare, output, open, progress, window, progressMessage);
}

// WriteWindowChangesWith the widest compare the processor has.
static BOOL WriteWindowChanges(Comparison &compare, PatchOutput *output, BOOL *open, ProgressThrottle &progress,
                               HWND window, UINT progressMessage)
{
    return compare.avx2 ? WriteWindowChangesAvx2(compare, output, open, progress, window, progressMessage)
                        : WriteWindowChangesBaseline(compare, output, open, progress, window, progressMessage);
}

// Writes the modified file's bytes past the original's end as a stretch of
// their own.
static Failure WriteTail(Comparison &compare, PatchOutput *output)
{
    const DWORD end = compare.modified.size;
    BeginRun(compare.run, output, compare.original.size);
    for (DWORD at = compare.original.size; at < end; at += compare.window.size) {
        Failure failure = NextWindow(compare);
        if (failure.text != NULL)
            return failure;
        if (!AddToRun(compare.run, compare.window.modified, compare.window.size))
            return {kCreateErrorText, NULL};
    }
    return EndRun(compare.run) ? kNoFailure : Failure{kCreateErrorText, NULL};
}

// Writes a record for every stretch of differing bytes within the original's
// length, then the modified file's tail.
static Failure WriteDifferences(Comparison &compare, PatchOutput *output, HWND window, UINT progressMessage)
{
    ProgressThrottle progress = {0, 0};
    const DWORD end = compare.original.size;
    BOOL open = 0;
    for (DWORD at = 0; at < end; at += compare.window.size) {
        Failure failure = NextWindow(compare);
        if (failure.text != NULL)
            return failure;
        if (!WriteWindowChanges(compare, output, &open, progress, window, progressMessage))
            return {kCreateErrorText, NULL};
    }
    // A stretch that reaches the end of the original sends no progress.
    if (open && !EndRun(compare.run))
        return {kCreateErrorText, NULL};
    return compare.modified.size == end ? kNoFailure : WriteTail(compare, output);
}

// Hands both files to the smallest writer a window at a time (the bytes both
// have, then the modified file's tail), with progress over the modified file.
static Failure WriteSmallestDifferences(Comparison &compare, PatchOutput *output, HWND window,
                                        UINT progressMessage)
{
    SmallestPatch *smallest = StartSmallestPatch(output, SMALLEST_WINDOW);
    if (smallest == NULL)
        return {kCreateErrorText, NULL};
    ProgressThrottle progress = {0, 0};
    const DWORD size = compare.modified.size;
    const Window &bytes = compare.window;
    Failure failure = kNoFailure;
    for (DWORD at = 0; failure.text == NULL && at < size; at += bytes.size) {
        failure = NextWindow(compare);
        if (failure.text == NULL &&
            !(bytes.original != NULL ? AddSmallestBytes(smallest, bytes.original, bytes.modified, bytes.size,
                                                        (const FoundStretches *)bytes.work)
                                     : AddSmallestTail(smallest, bytes.modified, bytes.size)))
            failure = {kCreateErrorText, NULL};
        else if (failure.text == NULL && at + bytes.size < size)
            ReportProgress(progress, at + bytes.size, size, kCreatingText, progressMessage, window);
    }
    if (failure.text == NULL && !EndSmallestPatch(smallest))
        failure = {kCreateErrorText, NULL};
    FreeSmallestPatch(smallest);
    return failure;
}

// WriteDifferences or WriteSmallestDifferences.
typedef Failure (*DifferenceWriter)(Comparison &compare, PatchOutput *output, HWND window, UINT progressMessage);

// The readers' task for each writer, which takes on the first steps of
// comparing each window: the default writer's readers mark the blocks that
// differ and write the records of short stretches (PrepareWindow); the
// smallest writer's find the stretches and write the records of those that
// stand alone (FindWindowStretches).
static WindowTask StretchWriterTask(const Comparison &compare)
{
    return {compare.avx2 ? PrepareWindowAvx2 : PrepareWindowBaseline, &compare.work,
            (compare.work.markWords * sizeof(uint64_t) + sizeof(WindowRecords) + 63) / 64 * 64};
}

static WindowTask SmallestWriterTask(const Comparison &compare)
{
    return {FindWindowStretches, &compare.work, (sizeof(FoundStretches) + 63) / 64 * 64};
}

// A writer, the windows read ahead for it, its readers' task, and whether
// the readers may map the files. The default writer reads 16 windows ahead
// (fewer where mapped), passes over the blocks the readers found equal and
// copies the records they wrote. The smallest writer keeps a window of its
// own and so reads less ahead, to stay within its memory; it copies the
// records the readers wrote and weighs the other stretches in its window.
// It reads the files into slots: mapped pages would take it past 32 MiB.
struct Writer {
    DifferenceWriter write;
    DWORD readAheadWindows;
    WindowTask (*task)(const Comparison &compare);
    bool mayMap;
};
static const Writer kStretchWriter = {WriteDifferences, 16, StretchWriterTask, true};
static const Writer kSmallestWriter = {WriteSmallestDifferences, 4, SmallestWriterTask, false};

// Where the patch goes: an open file, or a path to make it at once the inputs
// have been checked.
struct PatchDestination {
    HANDLE file;      // the open patch file; INVALID_HANDLE_VALUE when it could not be made
    const char *path; // its name in the texts
    BOOL makeAtPath;  // made at path (CREATE_ALWAYS) and closed here
    DWORD error;      // why file could not be made, for the last error of that failure
};

// Writes the whole patch into file with writer: magic, records, terminator.
static Failure WritePatch(DifferenceWriter writer, Comparison &compare, HANDLE file, DWORD terminatorOffset,
                          HWND window, UINT progressMessage)
{
    PatchOutput output = {file, NULL, 0, 0};
    Failure failure = {kCreateErrorText, NULL};
    if (StartPatchOutput(&output, file, terminatorOffset)) {
        failure = writer(compare, &output, window, progressMessage);
        if (failure.text == NULL && !(AppendTerminator(&output) && FlushPatchOutput(&output)))
            failure = {kCreateErrorText, NULL};
    }
    EndPatchOutput(&output);
    return failure;
}

// Fails, naming the input, where bytes handed over for comparing were lost
// under the reader (a view of a file made shorter); else lets the reader go.
static Failure CheckReadWhole(Comparison &compare)
{
    bool failedModified = false;
    if (compare.reader.Done(&failedModified))
        return kNoFailure;
    return {kCannotOpenText, failedModified ? compare.modified.path : compare.original.path};
}

// Writes the patch into the destination, then checks that both inputs were
// read whole and neither changed while it was read. A file
// made here is closed on every path, and a failed close fails the run.
static Failure WriteDestination(DifferenceWriter writer, Comparison &compare, const PatchDestination &patch,
                                DWORD terminatorOffset, HWND window, UINT progressMessage, BOOL *patchCreated)
{
    OwnedHandle made(patch.makeAtPath ? CreateFileA(patch.path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                                    FILE_ATTRIBUTE_NORMAL, NULL)
                                      : INVALID_HANDLE_VALUE);
    HANDLE file = patch.makeAtPath ? made.get() : patch.file;
    if (file == INVALID_HANDLE_VALUE) {
        if (!patch.makeAtPath)
            SetLastError(patch.error);
        return {kCannotCreateText, NULL};
    }
    if (patchCreated != NULL)
        *patchCreated = patch.makeAtPath;
    Failure failure = WritePatch(writer, compare, file, terminatorOffset, window, progressMessage);
    if (!made.Close() && failure.text == NULL)
        failure = {kCreateErrorText, NULL};
    if (failure.text == NULL)
        failure = CheckReadWhole(compare);
    if (failure.text == NULL)
        failure = CheckUnchanged(compare.original);
    if (failure.text == NULL)
        failure = CheckUnchanged(compare.modified);
    return failure;
}

const CreateTuning kCreateTuning = {256u * 1024u, IPS32_TERMINATOR_OFFSET, true};

// The body of every creation: opens both inputs, checks their sizes, starts
// reading them ahead and has writer write the patch.
static BOOL CreateWith(const Writer &writer, const CreateTuning &tuning, const char *originalPath,
                       const char *modifiedPath, const PatchDestination &patch, char *message, DWORD messageSize,
                       HWND window, UINT progressMessage, BOOL *patchCreated)
{
    if (patchCreated != NULL)
        *patchCreated = 0;
    if (originalPath == NULL || modifiedPath == NULL || patch.path == NULL)
        return 0;
    if (window != NULL)
        SendMessageA(window, progressMessage, 0, (LPARAM)Translated(kGettingFileInfoText));

    Comparison compare = {{originalPath, OwnedHandle(), 0, {}}, {modifiedPath, OwnedHandle(), 0, {}}, {}, {}, {},
                          HasAvx2(), {}};
    // Memory for reading, and the reader itself, count as what opening the
    // original needs.
    const Failure noMemory = {kCannotOpenText, originalPath};
    Failure failure = OpenInput(compare.original);
    if (failure.text == NULL)
        failure = OpenInput(compare.modified);
    if (failure.text == NULL && compare.original.size > compare.modified.size)
        failure = {kModifiedSmallerText, NULL};
    compare.work = {MarkWords(tuning.readSize), tuning.terminatorOffset, compare.avx2};
    const WindowTask task = writer.task(compare);
    if (failure.text == NULL &&
        !compare.reader.Start(compare.original.file.get(), compare.modified.file.get(),
                              {tuning.readSize, compare.original.size, compare.modified.size},
                              writer.readAheadWindows, tuning.readersCompare ? &task : NULL,
                              writer.mayMap && tuning.readersMap))
        failure = noMemory;
    if (failure.text == NULL)
        failure = WriteDestination(writer.write, compare, patch, tuning.terminatorOffset, window, progressMessage,
                                   patchCreated);
    // The reader and the inputs are let go before "done" goes out.
    compare.reader.Stop();
    compare.original.file.Close();
    compare.modified.file.Close();
    return EndEngineCall(failure, kCreatedText, patch.path, message, messageSize, window, progressMessage);
}

BOOL CreatePatchTo(HANDLE patch, const char *patchName, const char *originalPath, const char *modifiedPath,
                   BOOL smallest, char *message, DWORD messageSize, HWND window, UINT progressMessage)
{
    return CreateWith(smallest ? kSmallestWriter : kStretchWriter, kCreateTuning, originalPath,
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
    return CreateWith(kStretchWriter, tuning, originalPath, modifiedPath, {INVALID_HANDLE_VALUE, patchPath, TRUE, 0},
                      message, messageSize, window, progressMessage, patchCreated);
}

BOOL CreateSmallestPatch(const char *originalPath, const char *modifiedPath, const char *patchPath,
                         char *message, DWORD messageSize, HWND window, UINT progressMessage,
                         BOOL *patchCreated)
{
    return CreateWith(kSmallestWriter, kCreateTuning, originalPath, modifiedPath,
                      {INVALID_HANDLE_VALUE, patchPath, TRUE, 0}, message, messageSize, window, progressMessage,
                      patchCreated);
}
