#include "engine/smallest.h"

#include "engine/compare.h"
#include "engine/ips32.h"

#include <stdlib.h>
#include <string.h>

// The patch is chosen as a shortest path. The words used below:
//
// position    a byte's index in both files. It must be written where the
//             files differ there, and may be left alone (or be written over
//             with its own value) where they are equal.
// boundary    the place between two positions: boundary b lies before
//             position b, so a record over positions a to b - 1 goes from
//             boundary a to boundary b.
// cost(b)     the fewest bytes of records that make every position before b
//             right, with no record crossing b; the patch's records take
//             cost(end). cost never falls from one boundary to the next (a
//             record that ends later can be cut short), so passing over an
//             equal byte is best wherever it is allowed.
// step        how a boundary is reached from an earlier one: passed over
//             (equal bytes, for nothing), a data record (6 + its length) or
//             a run record (9), each at most kMaxLength long. Each boundary
//             keeps the cheapest step that reached it; where that step began
//             is its parent.
// data start  a boundary a data record may begin at. A record from s to b
//             costs cost(s) - s + 6 + b, so the cheapest start is the one of
//             least cost(s) - s in reach: the starts queue is a sliding
//             minimum of that key.
// plateau     the boundaries from one rise of cost to the next, which share
//             one cost. A run costs the same from each, so the cheapest run
//             begins on the plateau of the earliest boundary allowed (the
//             start of the uniform stretch, or of the window), at the
//             latest boundary of that plateau.
// uniform     the modified file repeats one value from uniformStart up to
//             the latest position: a run that ends there begins no earlier.
// come down to  a data record comes down to a cost when some start makes it
//             cost no more. Its cost grows by one with each byte it takes
//             and a run's does not, so a cheaper run stays cheaper as long
//             as no data record comes down to its cost.
// stretch     positions taken at once, as every byte in them would take the
//             step the first one takes: equal bytes passed over, changed
//             bytes under one data record with gaps of fewer equal bytes
//             than a header, or one repeated value under one run. Only the
//             boundaries in it that a record may still begin at get a step.
// window      the last size positions of both files, in a ring: boundary b
//             is at slot (b - slotBase) & mask, where slotBase is the
//             boundary the window was last begun at. So a short change that
//             needs the window uses the same few slots as the one before,
//             still in the cache, rather than new ones each time (Begin). A
//             piece is the part of the window that does not wrap round. The
//             window start is the first boundary that a record ending after
//             done may begin at, kMaxLength back.
// tree        the boundaries and their steps. A boundary is kept while a
//             record may still begin at it or a kept boundary was reached
//             from it, and dropped after.
// root        where the tree begins: every record before it is written.
// trunk       the path from the root up to where the kept boundaries' paths
//             part. Every way on goes along it, so it is final: its records
//             are written and its end becomes the root.
// origin      where the costs begin: boundary 0, or the boundary the costs
//             are worked out again from when the paths have not met for half
//             a window (MakeRoom).
// tail        the modified file's bytes past the original's end.
//
// For example, over 13 bytes, each boundary's cost and the step that reached
// it (Pass, Data or Run) from where it began:
//
//   boundary    0   1   2   3   4   5   6   7   8   9  10  11  12  13
//   position      0   1   2   3   4   5   6   7   8   9  10  11  12
//   original      a   b   c   d   e   f   g   h   i   j   k   Z   m
//   modified      X   b   Y   d   e   f   g   Z   Z   Z   Z   Z   Z
//   cost        0   7   7   9   9   9   9   9  14  15  16  17  17  18
//   step            D   P   D           P   P   D   D   D   D   P   R
//   from            0   1   0           3   6   0   0   0   0  11   7
//
// Position 0 must be written: a data record from 0 costs 6 + 1, less than a
// run. At 2, the data record from 0 over XbY costs 9, less than 7 + 7 for a
// second one from 2: the equal b is written over with its own value rather
// than pay another header. d to g are one stretch passed over, boundaries 3
// to 7 one plateau of cost 9 (4 and 5, inside the stretch, get no step of
// their own). The Zs could be a run from 7 for 9 + 9 = 18, but the data
// record from 0, whose key cost(s) - s is the least, costs 6 + b and stays
// cheaper up to 11; 11 is equal and passed over. At 13 that data record
// would cost 19 and the run from 7 costs 18: the run wins, with the equal Z
// at 11 inside it. The steps back from 13 give the records: a run of six Z
// at 7 and the data XbY at 0, 18 bytes.

static const uint64_t kMaxLength = IPS32_MAX_RECORD_SIZE;
static const int64_t kDataHeaderSize = 6;
static const int64_t kRunRecordSize = 9;
static const uint32_t kQueueSize = 1u << 17;  // more than the kMaxLength + 1 boundaries a record can begin at

// The step that reached a boundary, in the low two bits of its node, and the
// distance back to where it began above them. kJump marks the boundary after
// the start of a stretch that was passed over at once: no step ends at the
// boundaries inside it, and the distance leads on to the first that has one.
enum StepKind { kPass, kData, kRun, kJump };

// How a boundary was reached (its step kind and distance back), and how many
// kept boundaries were reached from it; side by side, as they are mostly
// written together.
struct Step {
    uint32_t node;
    uint32_t children;
};

// A boundary and a cost: in the sliding minimum, cost(at) - at; as the start
// of a plateau, cost(at), which holds until the next plateau's start.
struct Candidate {
    uint64_t at;
    int64_t cost;
};

// A queue of candidates in a ring of kQueueSize. head and tail count the
// candidates ever taken from the front and put at the back, wrapping as the
// ring does, so a candidate keeps its index while it is queued.
struct CandidateQueue {
    Candidate *ring;
    uint32_t head, tail;

    bool Empty() const { return head == tail; }
    Candidate &At(uint32_t index) const { return ring[index & (kQueueSize - 1)]; }
    Candidate &Front() const { return At(head); }
    Candidate &Back() const { return At(tail - 1); }
    void PushBack(Candidate candidate) { At(tail++) = candidate; }
    void Clear() { head = tail = 0; }

    // Takes candidates from the front, or the back, as long as
    // drop(candidate) holds. The index is counted in a local and stored once:
    // counted in the member, it would be stored at every step, as the
    // compiler may not move a store out of a loop that might not run.
    template <typename Drop> void PopFrontWhile(Drop drop)
    {
        uint32_t first = head;
        while (first != tail && drop(At(first)))
            ++first;
        head = first;
    }
    template <typename Drop> void PopBackWhile(Drop drop)
    {
        uint32_t end = tail;
        while (end != head && drop(At(end - 1)))
            --end;
        tail = end;
    }
};

// Equal bytes on each side of a changed stretch that no record of a
// smallest patch reaches across: it would carry more bytes than a header.
static const DWORD kCuttingGap = (DWORD)kDataHeaderSize + 1;

// The first index from i on, before end, where kCuttingGap equal bytes
// begin, or end where there is none; WIDE_COMPARE_SIZE positions at a time
// with Wide while that many are left, each block checking the starts whose
// bytes it holds.
template <class Wide> static inline DWORD NextGapWide(const unsigned char *a, const unsigned char *b, DWORD i,
                                                      DWORD end)
{
    for (; end - i >= WIDE_COMPARE_SIZE; i += WIDE_COMPARE_SIZE - (kCuttingGap - 1)) {
        // Bit k of starts: positions k to k + 6 all equal.
        const uint64_t equal = ~Wide::DifferenceMask(a + i, b + i), two = equal & equal >> 1, four = two & two >> 2,
                       starts = four & four >> 3;
        if (starts != 0)
            return i + LowestSetBit(starts);
    }
    for (DWORD run = 0; i < end; ++i) {
        run = a[i] == b[i] ? run + 1 : 0;
        if (run == kCuttingGap)
            return i + 1 - kCuttingGap;
    }
    return end;
}

// SkipEqual and NextGap with a wide compare: StartSmallestPatch takes the
// widest the processor has.
typedef DWORD (*ScanFunction)(const unsigned char *a, const unsigned char *b, DWORD i, DWORD end);

static DWORD SkipEqualBaseline(const unsigned char *a, const unsigned char *b, DWORD i, DWORD end)
{
    return SkipEqualWide<BaselineCompare>(a, b, i, end);
}

AVX2_FUNCTION static DWORD SkipEqualAvx2(const unsigned char *a, const unsigned char *b, DWORD i, DWORD end)
{
    return SkipEqualWide<Avx2Compare>(a, b, i, end);
}

static DWORD NextGapBaseline(const unsigned char *a, const unsigned char *b, DWORD i, DWORD end)
{
    return NextGapWide<BaselineCompare>(a, b, i, end);
}

AVX2_FUNCTION static DWORD NextGapAvx2(const unsigned char *a, const unsigned char *b, DWORD i, DWORD end)
{
    return NextGapWide<Avx2Compare>(a, b, i, end);
}

struct SmallestPatch {
    PatchOutput *output;
    ScanFunction skipEqual;
    ScanFunction nextGap;
    uint64_t terminatorOffset; // the output's: no record begins here
    DWORD size;                // positions in the window, a power of two
    DWORD mask;
    uint64_t slotBase;         // the boundary at slot 0 (see window)
    unsigned char *original;   // size bytes: the original's bytes, 0 past its end
    unsigned char *modified;   // size + kMaxLength bytes: the first kMaxLength are
                               // repeated at the end, so a record's bytes lie in one piece
    Step *steps;               // size: how each boundary was reached
    CandidateQueue starts;     // data record starts, cost(at) - at rising
    CandidateQueue plateaus;   // where cost rises, oldest first
    uint32_t runPlateau;       // index in plateaus of the one the cheapest run begins on
    uint64_t origin;           // where the costs begin: the start, or a restart
    uint64_t root;             // every record before it is written
    uint64_t done;             // cost is known up to this boundary
    uint64_t fed;              // bytes in the window up to this position
    uint64_t released;         // boundaries before it were dropped or kept (Release)
    uint64_t uniformStart;     // the modified file repeats one value from here to done - 1
    uint64_t tailStart;        // where the modified file's tail began
    uint64_t aheadFrom;        // the files are equal from here up to aheadEnd,
    uint64_t aheadEnd;         // where they differ (LookAhead)
    int64_t cost;              // cost(done)
    uint64_t handed;           // positions handed over by the caller
    uint64_t changeEnd;        // the position after the last changed byte handed over
    bool idle;                 // every record before handed is written, and the
                               // window is not in use (see AddSmallestBytes)
    BOOL failed;
};

static inline uint64_t AtMost(uint64_t value, uint64_t limit)
{
    return value < limit ? value : limit;
}

static inline DWORD Slot(const SmallestPatch *s, uint64_t boundary)
{
    return (DWORD)(boundary - s->slotBase) & s->mask;
}

static inline uint64_t Distance(uint32_t node)
{
    return node >> 2;
}

static inline StepKind Kind(uint32_t node)
{
    return (StepKind)(node & 3);
}

static inline uint64_t Parent(const SmallestPatch *s, uint64_t boundary)
{
    return boundary - Distance(s->steps[Slot(s, boundary)].node);
}

// The first boundary that can still begin a record ending after done. A
// comparison rather than AtMost, which costs two more instructions at each
// of the many places this is inlined.
static inline uint64_t WindowStart(const SmallestPatch *s, uint64_t done)
{
    return done + 1 > s->origin + kMaxLength ? done + 1 - kMaxLength : s->origin;
}

// The positions from done on, up to upto, that lie in one piece of the
// window, before it wraps round.
static inline uint64_t InPiece(const SmallestPatch *s, uint64_t upto)
{
    return AtMost(upto - s->done, s->size - Slot(s, s->done));
}

static void SetStep(SmallestPatch *s, uint64_t boundary, uint64_t from, StepKind kind)
{
    Step *const steps = s->steps;
    const DWORD at = Slot(s, boundary), fromAt = Slot(s, from);
    steps[at].node = (uint32_t)((boundary - from) << 2) | kind;
    steps[at].children = 0;
    ++steps[fromAt].children;
}

// Boundaries first to to - 1 get no step: Release goes on from first to to.
static inline void JumpOver(SmallestPatch *s, uint64_t first, uint64_t to)
{
    if (to > first)
        s->steps[Slot(s, first)].node = (uint32_t)((to - first) << 2) | kJump;
}

// The cheapest data record start that a record ending after windowStart may
// begin at, or null; the starts before windowStart are dropped.
static inline const Candidate *CheapestStart(SmallestPatch *s, uint64_t windowStart)
{
    CandidateQueue &starts = s->starts;
    starts.PopFrontWhile([windowStart](const Candidate &start) { return start.at < windowStart; });
    return !starts.Empty() ? &starts.Front() : NULL;
}

// Offers boundary as a data record start. A later start at no higher
// cost(at) - at is never worse, and when they are equal the later one is
// kept, so that the paths of neighbouring boundaries meet sooner.
static inline void OfferStart(SmallestPatch *s, uint64_t boundary, int64_t cost)
{
    if (boundary == s->terminatorOffset)
        return;
    const int64_t key = cost - (int64_t)boundary;
    CandidateQueue &starts = s->starts;
    starts.PopBackWhile([key](const Candidate &start) { return start.cost >= key; });
    starts.PushBack(Candidate{boundary, key});
}

// A boundary whose cost is above the last plateau's begins a new plateau.
static void NoteCost(SmallestPatch *s, uint64_t boundary, int64_t cost)
{
    CandidateQueue &plateaus = s->plateaus;
    if (plateaus.Empty() || plateaus.Back().cost < cost)
        plateaus.PushBack(Candidate{boundary, cost});
}

// Drops boundary, which nothing kept was reached from, and each boundary
// before it that then leads nowhere and can no longer begin a record.
static void Drop(SmallestPatch *s, uint64_t boundary, uint64_t windowStart)
{
    // Writing a count may change any field as far as the compiler knows, so
    // the fields are read first.
    Step *const steps = s->steps;
    const uint64_t root = s->root;
    for (;;) {
        const uint64_t parent = Parent(s, boundary);
        if (--steps[Slot(s, parent)].children != 0 || parent >= windowStart || parent == root)
            return;
        boundary = parent;
    }
}

// Boundaries before windowStart can no longer begin a record: those that no
// kept boundary was reached from are dropped.
static void Release(SmallestPatch *s, uint64_t windowStart)
{
    const uint64_t root = s->root;
    uint64_t boundary = s->released;
    while (boundary < windowStart) {
        const uint32_t node = s->steps[Slot(s, boundary)].node;
        if (boundary != root && Kind(node) == kJump) {
            boundary += Distance(node);
            continue;
        }
        if (boundary != root && s->steps[Slot(s, boundary)].children == 0)
            Drop(s, boundary, windowStart);
        ++boundary;
    }
    s->released = boundary;
}

// Takes the step from from to boundary done + 1, which then costs cost.
static inline void Reach(SmallestPatch *s, uint64_t from, StepKind kind, int64_t cost)
{
    uint64_t boundary = s->done + 1;
    SetStep(s, boundary, from, kind);
    s->done = boundary;
    s->cost = cost;
    NoteCost(s, boundary, cost);
    OfferStart(s, boundary, cost);
    Release(s, WindowStart(s, boundary));
}

// Drops the plateaus wholly before windowStart, where no record can begin
// any more; the run plateau stays among those kept.
static void DropOldPlateaus(SmallestPatch *s, uint64_t windowStart)
{
    CandidateQueue &plateaus = s->plateaus;
    uint32_t head = plateaus.head;
    while (plateaus.tail - head >= 2 && plateaus.At(head + 1).at <= windowStart)
        ++head;
    plateaus.head = head;
    if ((int32_t)(s->runPlateau - head) < 0)
        s->runPlateau = head;
}

// The cheapest run record that ends after position done, as from and its
// cost; false when none can.
static bool CheapestRun(SmallestPatch *s, uint64_t windowStart, uint64_t *from, int64_t *cost)
{
    uint64_t first = windowStart > s->uniformStart ? windowStart : s->uniformStart;
    if (first == s->terminatorOffset)
        ++first;
    if (first > s->done)
        return false;
    DropOldPlateaus(s, windowStart);
    const CandidateQueue &plateaus = s->plateaus;
    uint32_t plateau = s->runPlateau;
    while (plateau + 1 != plateaus.tail && plateaus.At(plateau + 1).at <= first)
        ++plateau;
    s->runPlateau = plateau;
    // Every start on first's plateau costs the same; the latest is taken. It
    // lies before a byte to write, or is done, so the one before it has a
    // step too.
    uint64_t last = plateau + 1 != plateaus.tail ? plateaus.At(plateau + 1).at - 1 : s->done;
    *from = last != s->terminatorOffset ? last : last - 1;
    *cost = plateaus.At(plateau).cost + kRunRecordSize;
    return true;
}

// Position done must be written.
static void StepToWrite(SmallestPatch *s)
{
    uint64_t position = s->done;
    uint64_t windowStart = WindowStart(s, position);
    const Candidate *const start = CheapestStart(s, windowStart);
    if (position == s->origin || s->modified[Slot(s, position)] != s->modified[Slot(s, position - 1)])
        s->uniformStart = position;

    // A start is always offered or a run possible: a record can begin at
    // every boundary but one, and a path only ever passes that one.
    uint64_t from = 0, runFrom;
    int64_t cost = INT64_MAX, runCost;
    StepKind kind = kData;
    if (start != NULL) {
        from = start->at;
        cost = start->cost + kDataHeaderSize + (int64_t)(position + 1);
    }
    // Where the value differs from the one before, a run can only begin at
    // done, for cost(done) + 9: a cheaper data record wins without looking
    // further (the common case in a changed area). The plateaus are kept
    // short all the same.
    if (s->uniformStart == position && cost < s->cost + kRunRecordSize)
        DropOldPlateaus(s, windowStart);
    else if (CheapestRun(s, windowStart, &runFrom, &runCost) &&
             (runCost < cost || (runCost == cost && runFrom > from))) {
        from = runFrom;
        cost = runCost;
        kind = kRun;
    }
    Reach(s, from, kind, cost);
}

// The first position from first on after which bytes[last] repeats up to
// last.
static DWORD UniformFrom(const unsigned char *bytes, DWORD first, DWORD last)
{
    const uint64_t repeated = bytes[last] * 0x0101010101010101ull;
    DWORD at = last;
    while (at - first >= 8 && Load64(bytes + at - 8) == repeated)
        at -= 8;
    while (at > first && bytes[at - 1] == bytes[last])
        --at;
    return at;
}

// Positions done to end - 1 may stay as they are, and lie in one piece of
// the window. They are passed over at once: only the last two boundaries get
// a step, since the ones inside are never better places to begin a record.
static void PassOver(SmallestPatch *s, uint64_t end)
{
    const uint64_t start = s->done, last = end - 1;
    // Only the last kMaxLength + 1 bytes can share a run with what follows.
    const uint64_t first = last - AtMost(last - start, kMaxLength);
    const DWORD at = Slot(s, first);
    const uint64_t uniform = first + (UniformFrom(s->modified, at, at + (DWORD)(last - first)) - at);
    if (uniform > start || start == s->origin || s->modified[Slot(s, start)] != s->modified[Slot(s, start - 1)])
        s->uniformStart = uniform;

    if (end - start >= 2)
        SetStep(s, last, start, kPass);
    JumpOver(s, start + 1, last);
    s->done = last;
    if (end == s->terminatorOffset)
        OfferStart(s, last, s->cost);
    Reach(s, last, kPass, s->cost);
}

// True when the modified file's byte at i repeats the two before it.
static inline bool RepeatsTwice(const unsigned char *modified, DWORD i)
{
    return modified[i] == modified[i - 1] && modified[i - 1] == modified[i - 2];
}

// True when some byte of value is zero.
static inline bool HasZeroByte(uint64_t value)
{
    return ((value - 0x0101010101010101ull) & ~value & 0x8080808080808080ull) != 0;
}

// The longest gap of equal bytes that a data record carries across
// rather than end and begin anew: fewer bytes than a record header.
static const DWORD kLongestBridge = (DWORD)kDataHeaderSize - 1;

// From the changed byte at on, up to end: changed bytes with gaps of at most
// kLongestBridge equal bytes between them, where no byte of the modified file
// repeats the two before it (modified[at - 2] must be readable). Returns the
// position after the last changed byte; gapEnds[g] is where the latest gap of
// g equal bytes ended, or is left as it was where there is none.
static inline __attribute__((always_inline)) DWORD ScanDataStretch(const unsigned char *original,
                                                                   const unsigned char *modified, DWORD at,
                                                                   DWORD end, DWORD gapEnds[kLongestBridge + 1])
{
    DWORD last = at, gap = 0;
    for (DWORD i = at + 1; i < end;) {
        if (gap == 0 && end - i >= 8) {
            const uint64_t bytes = Load64(modified + i), before = Load64(modified + i - 1);
            if (!HasZeroByte(Load64(original + i) ^ bytes) &&
                !HasZeroByte((bytes ^ before) | (before ^ Load64(modified + i - 2)))) {
                i += 8;
                last = i - 1;
                continue;
            }
        }
        if (RepeatsTwice(modified, i))
            break;
        if (original[i] == modified[i]) {
            if (++gap > kLongestBridge)
                break;
        } else {
            if (gap != 0)
                gapEnds[gap] = i;
            gap = 0;
            last = i;
        }
        ++i;
    }
    return last + 1;
}

// From at on, up to end, while the modified file holds value: the position
// after the last changed byte, or at when there is none.
static DWORD ScanRunStretch(const unsigned char *original, const unsigned char *modified, DWORD at, DWORD end,
                            unsigned char value)
{
    const uint64_t repeated = value * 0x0101010101010101ull;
    DWORD after = at;
    for (DWORD i = at; i < end;) {
        if (end - i >= 8 && Load64(modified + i) == repeated) {
            const uint64_t changed = Load64(original + i) ^ repeated;
            if (changed == 0 || !HasZeroByte(changed)) {
                i += 8;
                after = changed != 0 ? i : after;
                continue;
            }
        }
        if (modified[i] != value)
            break;
        if (original[i] != value)
            after = i + 1;
        ++i;
    }
    return after;
}

// Takes the steps over a stretch of one repeated value from done to end, all
// by the run from from, at the same cost. Only the last two boundaries get a
// step: no record will begin at the ones inside, as each was a data start
// as good as the next and no better, and the latest boundary of their
// plateau, where a run begins, lies at end or later.
static void TakeRunStretch(SmallestPatch *s, uint64_t end, uint64_t from)
{
    const uint64_t start = s->done;
    JumpOver(s, start + 1, end - 1);
    SetStep(s, end - 1, from, kRun);
    s->done = end - 1;
    Reach(s, from, kRun, s->cost);
}

// A step taken inside a stretch: to boundary at from from.
struct KeptStep {
    uint64_t at, from;
    StepKind kind;
    int64_t cost;
};

// Adds the steps to boundary at, after a stretch's byte at - 1, to steps in
// order of boundary; the boundary after each changed byte is reached from
// start and costs key more than itself, one after a gap of equal bytes is
// passed over to from where the gap began.
static int AddKeptSteps(const SmallestPatch *s, KeptStep *steps, int count, uint64_t at, uint64_t start, int64_t key)
{
    uint64_t gap = at;
    while (s->original[Slot(s, gap - 1)] == s->modified[Slot(s, gap - 1)])
        --gap;
    const KeptStep added[2] = {{gap, start, kData, key + (int64_t)gap}, {at, gap, kPass, key + (int64_t)gap}};
    for (int i = 0; i < (gap != at ? 2 : 1); ++i) {
        int place = count;
        while (place > 0 && steps[place - 1].at > added[i].at)
            --place;
        if (place > 0 && steps[place - 1].at == added[i].at)
            continue;
        memmove(steps + place + 1, steps + place, (count - place) * sizeof *steps);
        steps[place] = added[i];
        ++count;
    }
    return count;
}

// Takes the steps over a stretch of changed bytes from done to end, with
// short gaps of equal bytes, each changed byte reached by a data record from
// start. Of the boundaries inside, only these get a step: the last two,
// which a run can begin at, and the boundary after the latest gap of each
// length that no longer gap follows, which stays a data start as the gaps
// make it cheaper than the boundaries after it; with each, the boundary where
// its gap began.
static void TakeDataStretch(SmallestPatch *s, const Candidate &start, uint64_t end, const DWORD gapEnds[])
{
    const uint64_t first = s->done;
    const int64_t key = start.cost + kDataHeaderSize;
    KeptStep steps[2 * kLongestBridge + 4];
    Candidate offers[kLongestBridge];
    int count = 0, offered = 0;
    for (DWORD gap = kLongestBridge; gap >= 1; --gap) {
        const uint64_t at = first + (gapEnds[gap] - Slot(s, first));
        if (gapEnds[gap] != 0 && (offered == 0 || at > offers[offered - 1].at)) {
            offers[offered++] = Candidate{at, key + (int64_t)(at - gap)};
            count = AddKeptSteps(s, steps, count, at, start.at, key);
        }
    }
    count = AddKeptSteps(s, steps, count, end - 2, start.at, key);
    count = AddKeptSteps(s, steps, count, end - 1, start.at, key);
    uint64_t last = first;
    for (int i = 0; i < count; ++i) {
        JumpOver(s, last + 1, steps[i].at);
        SetStep(s, steps[i].at, steps[i].from, steps[i].kind);
        NoteCost(s, steps[i].at, steps[i].cost);
        last = steps[i].at;
    }
    for (int i = 0; i < offered; ++i)
        OfferStart(s, offers[i].at, offers[i].cost);
    const DWORD at = Slot(s, end - 1);
    s->uniformStart = s->modified[at] != s->modified[Slot(s, end - 2)] ? end - 1 : end - 2;
    s->done = end - 1;
    Reach(s, start.at, kData, key + (int64_t)end);
}

// True when a record from before first to after last could begin at the
// terminator's offset or next to it; the steps there are taken one by one.
static inline bool NearTerminatorOffset(const SmallestPatch *s, uint64_t first, uint64_t last)
{
    return first <= s->terminatorOffset + kMaxLength + 1 && s->terminatorOffset <= last + 1;
}

// Takes at once the steps over a stretch, beginning at done with a changed
// byte, where each changed byte would take the step the first one takes: a
// data record from the same start, where gaps of equal bytes are short and
// no byte repeats the two before it, so that no run is as cheap; or a run
// from the same start over one repeated value that no data record comes down
// to. False, with nothing done, where fewer than three bytes qualify.
static bool StepAcrossChanges(SmallestPatch *s, uint64_t upto)
{
    const uint64_t position = s->done;
    const DWORD at = Slot(s, position);
    const uint64_t inPiece = InPiece(s, upto);
    if (position < s->origin + 2 || at < 2 || inPiece < 3 || NearTerminatorOffset(s, position, position + inPiece))
        return false;
    const uint64_t windowStart = WindowStart(s, position);
    DropOldPlateaus(s, windowStart);
    const Candidate *const cheapest = CheapestStart(s, windowStart);
    if (cheapest == NULL)
        return false;
    const Candidate front = *cheapest;
    const unsigned char *const original = s->original, *const modified = s->modified;
    const bool repeats = modified[at] == modified[at - 1];
    if (!repeats || modified[at - 1] != modified[at - 2]) {
        // No run longer than two bytes ends here, and a data record takes two
        // bytes for less than a run. Past the reach of the cheapest start the
        // next one takes over, which is left to single steps.
        const uint64_t reach = front.at + kMaxLength - position;
        DWORD gapEnds[kLongestBridge + 1] = {0};
        const uint64_t end =
            position + (ScanDataStretch(original, modified, at, at + (DWORD)AtMost(inPiece, reach), gapEnds) - at);
        if (end - position >= 3) {
            TakeDataStretch(s, front, end, gapEnds);
            return true;
        }
    }
    // The run that reached done goes on as long as its start is in reach;
    // no data record can come down to its cost, as the cheapest one now
    // costs more and each later one as much more again.
    const uint32_t node = s->steps[at].node;
    if (!repeats || Kind(node) != kRun || front.cost + kDataHeaderSize + (int64_t)position + 1 <= s->cost)
        return false;
    const uint64_t from = position - Distance(node), reach = from + kMaxLength - position;
    if (reach < 3)
        return false;
    const uint64_t end = position + (ScanRunStretch(original, modified, at + 1, at + (DWORD)AtMost(inPiece, reach),
                                                    modified[at]) - at);
    if (end - position < 3)
        return false;
    TakeRunStretch(s, end, from);
    return true;
}

// The first position from from on, before limit, where the files differ, or
// limit where there is none; from and limit lie in one piece of the window.
static inline uint64_t NextChange(const SmallestPatch *s, uint64_t from, uint64_t limit)
{
    if (from >= s->aheadFrom && from < s->aheadEnd)
        return AtMost(s->aheadEnd, limit);
    const DWORD at = Slot(s, from);
    return from + (s->skipEqual(s->original, s->modified, at, at + (DWORD)(limit - from)) - at);
}

// Changed bytes that LookAhead looks past at most.
static const uint64_t kAheadChanges = 16;

// Where a few changed bytes from position from on are followed by equal
// bytes before limit, finds where those end (aheadFrom, aheadEnd) and has the
// steps there fetched into the cache. The steps at the end of a long stretch
// of equal bytes lie far from any used lately: fetched while the changes
// before it are worked out, they are there when Advance reaches them.
static void LookAhead(SmallestPatch *s, uint64_t from, uint64_t limit)
{
    uint64_t equal = from;
    while (equal < limit && equal - from < kAheadChanges && s->original[Slot(s, equal)] != s->modified[Slot(s, equal)])
        ++equal;
    if (equal == limit || equal - from == kAheadChanges)
        return;
    const uint64_t change = NextChange(s, equal, limit);
    if (change == limit)
        return;
    s->aheadFrom = equal;
    s->aheadEnd = change;
    __builtin_prefetch(&s->steps[Slot(s, change - 1)], 1);
}

// Works out the cost of every boundary up to upto, whose bytes are in the window.
static void Advance(SmallestPatch *s, uint64_t upto)
{
    while (s->done < upto) {
        const DWORD at = Slot(s, s->done);
        if (s->original[at] != s->modified[at]) {
            if (!StepAcrossChanges(s, upto))
                StepToWrite(s);
            continue;
        }
        const uint64_t limit = s->done + InPiece(s, upto), next = s->done + 1;
        // A lone equal byte between changes is common enough to be told
        // apart before the wide compare; after a longer stretch, the end of
        // the next one is looked for at once.
        uint64_t end = next;
        if (next < limit && s->original[Slot(s, next)] == s->modified[Slot(s, next)]) {
            end = NextChange(s, next, limit);
            LookAhead(s, end, limit);
        }
        PassOver(s, end);
    }
}

static BOOL WriteStep(SmallestPatch *s, uint64_t from, uint64_t to, StepKind kind)
{
    const unsigned char *bytes = s->modified + Slot(s, from);
    if (kind == kData)
        return AppendDataRecord(s->output, (DWORD)from, bytes, (DWORD)(to - from));
    if (kind == kRun)
        return AppendRunRecord(s->output, (DWORD)from, (DWORD)(to - from), bytes[0]);
    return 1;
}

// Writes the records on the path from the root to boundary to and makes it
// the root.
static BOOL WritePath(SmallestPatch *s, uint64_t to)
{
    // The boundaries before to are done with, so their children counts can
    // hold the way forward instead.
    for (uint64_t boundary = to; boundary != s->root;) {
        uint64_t parent = Parent(s, boundary);
        s->steps[Slot(s, parent)].children = (uint32_t)(boundary - parent);
        boundary = parent;
    }
    for (uint64_t boundary = s->root; boundary != to;) {
        uint64_t next = boundary + s->steps[Slot(s, boundary)].children;
        if (!WriteStep(s, boundary, next, Kind(s->steps[Slot(s, next)].node)))
            return 0;
        boundary = next;
    }
    s->root = to;
    if (s->released < to)
        s->released = to;
    return 1;
}

// The boundary where the kept boundaries' paths part: the first one from
// the root on that can still begin a record or that two kept paths go on
// from. Every path up to it is the same.
static uint64_t PartingBoundary(const SmallestPatch *s)
{
    const uint64_t windowStart = WindowStart(s, s->done);
    uint64_t parting = s->done;
    for (uint64_t boundary = s->done;; boundary = Parent(s, boundary)) {
        if (boundary >= windowStart || s->steps[Slot(s, boundary)].children >= 2)
            parting = boundary;
        if (boundary == s->root)
            return parting;
    }
}

static void StartAt(SmallestPatch *s, uint64_t boundary)
{
    s->origin = s->root = s->done = s->released = s->uniformStart = boundary;
    s->cost = 0;
    s->steps[Slot(s, boundary)].children = 0;
    s->starts.Clear();
    s->plateaus.Clear();
    s->runPlateau = 0;
    NoteCost(s, boundary, 0);
    OfferStart(s, boundary, 0);
}

// Writes what is final once the root lies an eighth of a window back, and,
// when the paths have not met for half a window, takes the path of boundary
// done up to a quarter window back and works out the rest again from there.
// That costs at most one record split in two, 9 bytes, over the smallest
// patch. When what is final is written makes no difference to the records, as
// it is final; written often, the path walked back to the root stays short
// enough to be in the cache when WritePath walks it again.
static BOOL MakeRoom(SmallestPatch *s)
{
    if (s->fed - s->root < s->size / 8)
        return 1;
    if (!WritePath(s, PartingBoundary(s)))
        return 0;
    if (s->fed - s->root < s->size / 2)
        return 1;
    const uint64_t target = s->done - s->size / 4;
    uint64_t boundary = s->done, after = s->done;
    while (boundary > target && boundary != s->root) {
        after = boundary;
        boundary = Parent(s, boundary);
    }
    const uint64_t upto = s->done;
    if (!WritePath(s, boundary != s->root ? boundary : after))
        return 0;
    StartAt(s, s->root);
    Advance(s, upto);
    return 1;
}

static BOOL Take(SmallestPatch *s, const unsigned char *original, const unsigned char *modified, DWORD count)
{
    while (count > 0 && !s->failed) {
        if (!MakeRoom(s)) {
            s->failed = 1;
            break;
        }
        const DWORD at = Slot(s, s->fed);
        const DWORD piece = (DWORD)AtMost(AtMost(count, s->size - at), s->size / 2);
        // Past the original's end, the original's window holds what the
        // target reads there without a record: zero, as the target is
        // lengthened with zeros up to the end of any later record. So the
        // tail's zeros are passed over like equal bytes; EndSmallestPatch
        // sees to the last one, which no later record reaches past.
        if (original != NULL)
            memcpy(s->original + at, original, piece);
        else
            memset(s->original + at, 0, piece);
        memcpy(s->modified + at, modified, piece);
        if (at < kMaxLength)
            memcpy(s->modified + s->size + at, modified, AtMost(piece, kMaxLength - at));
        s->fed += piece;
        if (original != NULL)
            original += piece;
        modified += piece;
        count -= piece;
        // The last position waits: if it ends the tail, it must be written.
        Advance(s, s->fed - 1);
    }
    return !s->failed;
}

SmallestPatch *StartSmallestPatch(PatchOutput *output, DWORD window)
{
    SmallestPatch *s = (SmallestPatch *)calloc(1, sizeof *s);
    if (s == NULL)
        return NULL;
    // One block for every array, the largest first, so that each is aligned.
    const size_t steps = (size_t)window * sizeof(Step), queue = kQueueSize * sizeof(Candidate);
    unsigned char *block =
        (unsigned char *)VirtualAlloc(NULL, steps + 2 * queue + 2 * (size_t)window + kMaxLength,
                                      MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (block == NULL) {
        free(s);
        return NULL;
    }
    s->steps = (Step *)block;
    s->starts.ring = (Candidate *)(block + steps);
    s->plateaus.ring = (Candidate *)(block + steps + queue);
    s->original = block + steps + 2 * queue;
    s->modified = s->original + window;
    s->output = output;
    s->skipEqual = HasAvx2() ? SkipEqualAvx2 : SkipEqualBaseline;
    s->nextGap = HasAvx2() ? NextGapAvx2 : NextGapBaseline;
    s->terminatorOffset = output->terminatorOffset;
    s->size = window;
    s->mask = window - 1;
    s->tailStart = UINT64_MAX;
    s->idle = true;
    StartAt(s, 0);
    return s;
}

// Starts the costs afresh at boundary from, which no record of a smallest
// patch crosses, with the window in use from there on.
static void Begin(SmallestPatch *s, uint64_t from)
{
    // Nothing before from is read again, so the ring may begin anew there.
    s->slotBase = from;
    StartAt(s, from);
    s->fed = from;
    s->aheadFrom = s->aheadEnd = 0;
    s->idle = false;
}

// Begins the window a few positions before index at of the piece, where
// the files are equal since the last change: no record crosses any boundary
// there (see AddSmallestBytes). Not at the terminator's offset, where no
// record may begin.
static void BeginBefore(SmallestPatch *s, uint64_t base, DWORD at)
{
    const uint64_t first = s->changeEnd > base ? s->changeEnd : base, late = base + at - AtMost(at, 8);
    uint64_t from = late > first ? late : first;
    if (from == s->terminatorOffset)
        from = from > first ? from - 1 : from + 1;
    Begin(s, from);
}

// Hands the window the bytes of the piece (positions base on) from where it
// stands up to index to.
static void Feed(SmallestPatch *s, const unsigned char *original, const unsigned char *modified, uint64_t base,
                 DWORD to)
{
    const DWORD from = (DWORD)(s->fed - base);
    Take(s, original + from, modified + from, to - from);
}

// Works out the costs up to index to of the piece, which no record of a
// smallest patch crosses, and writes the path there: every record before it.
static void Finish(SmallestPatch *s, const unsigned char *original, const unsigned char *modified, uint64_t base,
                   DWORD to)
{
    Feed(s, original, modified, base, to);
    Advance(s, s->fed);
    if (!s->failed && !WritePath(s, s->done))
        s->failed = 1;
    s->idle = true;
}

// The changed stretch from index at of the piece (position base + at) up to
// end, where kCuttingGap equal bytes begin (count, the piece's end, where none
// do), the last change before it ending at changeEnd: how every smallest patch
// writes it, whatever the rest of the files. kData, as one data record: no gap
// in it is as long as a header, and no byte in it or next to it repeats the two
// before, so no run record is as cheap. kRun, as one run record: it is one
// value over at least 4 bytes and the bytes next to it are others, so no data
// record is as cheap and no run reaches further. kPass where it may be written
// otherwise. At least kCuttingGap equal bytes must lie on each side, as no
// record reaches across those.
static StepKind LoneStretch(const unsigned char *original, const unsigned char *modified, uint64_t base, DWORD at,
                            DWORD end, DWORD count, uint64_t changeEnd, uint64_t terminatorOffset)
{
    if (at < 2 || base + at - changeEnd < kCuttingGap || end == count || end - at > kMaxLength ||
        base + at == terminatorOffset)
        return kPass;
    const unsigned char value = modified[at];
    if (modified[at + 1] == value)
        return end - at >= 4 && modified[at - 1] != value && modified[end] != value &&
                       ScanRunStretch(original, modified, at, end, value) == end
                   ? kRun
                   : kPass;
    // ScanDataStretch ends before any byte that repeats the two before it, so
    // only the first byte and the two after the end are left.
    DWORD gapEnds[kLongestBridge + 1];
    return ScanDataStretch(original, modified, at, end, gapEnds) == end && !RepeatsTwice(modified, at) &&
                   !RepeatsTwice(modified, end) && !RepeatsTwice(modified, end + 1)
               ? kData
               : kPass;
}

// While the window is in use, before the change at index at of the piece (or
// its end): where at least kCuttingGap equal bytes follow the last change,
// the first place among them where the modified file's value changes is a
// boundary no record crosses, run or data. Finishes there.
static void FinishInGap(SmallestPatch *s, const unsigned char *original, const unsigned char *modified,
                        uint64_t base, DWORD at)
{
    if (base + at - s->changeEnd < kCuttingGap)
        return;
    DWORD i = s->changeEnd > base ? (DWORD)(s->changeEnd - base) : 1;
    for (; i + 8 <= at; i += 8) {
        const uint64_t changes = LoadWord(modified + i) ^ LoadWord(modified + i - 1);
        if (changes != 0) {
            Finish(s, original, modified, base, i + LowestSetBit(changes) / 8);
            return;
        }
    }
    for (; i < at; ++i) {
        if (modified[i] != modified[i - 1]) {
            Finish(s, original, modified, base, i);
            return;
        }
    }
}

template <class Wide>
static void FindStretchesWith(const unsigned char *original, const unsigned char *modified, DWORD count,
                              uint64_t base, uint64_t terminatorOffset, FoundStretches *found)
{
    DWORD listed = 0, used = 0, i = 0;
    while (listed < SMALLEST_FOUND_STRETCHES) {
        const DWORD at = SkipEqualWide<Wide>(original, modified, i, count);
        if (at == count) {
            i = count;
            break;
        }
        const DWORD end = NextGapWide<Wide>(original, modified, at, count);
        // The last change before the piece is not known here: taken to end
        // at the piece's start, it keeps a first stretch near that from
        // counting as lone, as it may not be. The stretches after the first
        // lie kCuttingGap apart anyway.
        const StepKind lone = LoneStretch(original, modified, base, at, end, count, base, terminatorOffset);
        const DWORD size =
            lone == kData ? (DWORD)kDataHeaderSize + (end - at) : lone == kRun ? (DWORD)kRunRecordSize : 0;
        if (SMALLEST_FOUND_ROOM - used < size)
            break;
        if (lone == kData && end - at <= 8) {
            // A short stretch's bytes are copied as one word: the 8 bytes
            // from at lie in the piece, as kCuttingGap equal bytes follow.
            PutShortDataRecord(found->records + used, (DWORD)(base + at), modified + at, end - at);
        } else if (lone == kData) {
            PutDataRecord(found->records + used, (DWORD)(base + at), modified + at, end - at);
        } else if (lone == kRun) {
            PutRunRecord(found->records + used, (DWORD)(base + at), end - at, modified[at]);
        }
        used += size;
        found->stretch[listed++] = FoundStretch{at, end, used};
        i = end;
    }
    found->count = listed;
    found->scanned = i;
}

static void FindStretchesBaseline(const unsigned char *original, const unsigned char *modified, DWORD count,
                                  uint64_t base, uint64_t terminatorOffset, FoundStretches *found)
{
    FindStretchesWith<BaselineCompare>(original, modified, count, base, terminatorOffset, found);
}

AVX2_FUNCTION static void FindStretchesAvx2(const unsigned char *original, const unsigned char *modified,
                                            DWORD count, uint64_t base, uint64_t terminatorOffset,
                                            FoundStretches *found)
{
    FindStretchesWith<Avx2Compare>(original, modified, count, base, terminatorOffset, found);
}

void FindSmallestStretches(const unsigned char *original, const unsigned char *modified, DWORD count,
                           uint64_t base, uint64_t terminatorOffset, bool avx2, FoundStretches *found)
{
    (avx2 ? FindStretchesAvx2 : FindStretchesBaseline)(original, modified, count, base, terminatorOffset, found);
}

// Takes the changed stretch from index at of the piece up to end (see
// LoneStretch), with the record a reader found for it (recordSize bytes, or
// none: 0), or as found here (record null), where it is weighed here. A
// reader took the last change before the piece to end at its start, so it
// decided alike for every stretch it listed but one that begins within
// kCuttingGap of that: only there is it weighed again. Each changed stretch that every
// smallest patch writes as one record of its own is written at once; the
// others go through the window. The window begins between the last change and
// the next after such a stretch, and finishes before such a stretch or at a
// cut (FinishInGap): boundaries that no record of a smallest patch crosses,
// as a data record across kCuttingGap equal bytes costs more than two, a run
// needs one value all through, and the window begins runs at changed bytes.
// So the records are those the window would give over the whole files, while
// it only weighs the changes that need it.
static void TakeStretch(SmallestPatch *s, const unsigned char *original, const unsigned char *modified, uint64_t base,
                        DWORD at, DWORD end, DWORD count, const unsigned char *record, DWORD recordSize)
{
    if (!s->idle)
        FinishInGap(s, original, modified, base, at);
    const StepKind lone = recordSize != 0                       ? kData
                          : record != NULL && at >= kCuttingGap ? kPass
                                                                : LoneStretch(original, modified, base, at, end, count,
                                                                              s->changeEnd, s->terminatorOffset);
    if (lone != kPass) {
        if (!s->idle)
            Finish(s, original, modified, base, at);
        const BOOL written =
            recordSize != 0 ? AppendRecords(s->output, record, recordSize)
            : lone == kData ? AppendDataRecord(s->output, (DWORD)(base + at), modified + at, end - at)
                            : AppendRunRecord(s->output, (DWORD)(base + at), end - at, modified[at]);
        if (!written)
            s->failed = 1;
    } else {
        if (s->idle)
            BeginBefore(s, base, at);
        Feed(s, original, modified, base, end);
    }
    s->changeEnd = base + end;
}

BOOL AddSmallestBytes(SmallestPatch *s, const unsigned char *original, const unsigned char *modified, DWORD count,
                      const FoundStretches *found)
{
    const uint64_t base = s->handed;
    s->handed += count;
    DWORD i = 0, written = 0;
    for (DWORD k = 0; found != NULL && k < found->count && !s->failed; ++k) {
        const FoundStretch &stretch = found->stretch[k];
        if (s->idle && stretch.recordsEnd != written) {
            // Out of the window, the records of the stretches that have one
            // and follow each other go out together, as each would alone.
            while (k + 1 < found->count && found->stretch[k + 1].recordsEnd != found->stretch[k].recordsEnd)
                ++k;
            if (!AppendRecords(s->output, found->records + written, found->stretch[k].recordsEnd - written))
                s->failed = 1;
            s->changeEnd = base + found->stretch[k].end;
            written = found->stretch[k].recordsEnd;
            continue;
        }
        TakeStretch(s, original, modified, base, stretch.at, stretch.end, count, found->records + written,
                    stretch.recordsEnd - written);
        written = stretch.recordsEnd;
    }
    if (found != NULL)
        i = found->scanned;
    while (!s->failed) {
        const DWORD at = s->skipEqual(original, modified, i, count);
        if (at == count) {
            if (!s->idle)
                FinishInGap(s, original, modified, base, at);
            break;
        }
        const DWORD end = s->nextGap(original, modified, at, count);
        TakeStretch(s, original, modified, base, at, end, count, NULL, 0);
        i = end;
    }
    // A piece that ends at the terminator's offset leaves the window in use,
    // so that the next one finds a boundary before that offset to begin at.
    if (s->idle && base + count == s->terminatorOffset && count > 0)
        BeginBefore(s, base, count);
    if (!s->idle && !s->failed)
        Feed(s, original, modified, base, count);
    return !s->failed;
}

BOOL AddSmallestTail(SmallestPatch *s, const unsigned char *modified, DWORD count)
{
    if (s->idle)
        Begin(s, s->handed);
    if (s->tailStart == UINT64_MAX)
        s->tailStart = s->handed;
    s->handed += count;
    return Take(s, NULL, modified, count);
}

BOOL EndSmallestPatch(SmallestPatch *patch)
{
    if (patch->failed)
        return 0;
    // Only the last position is left (Take holds it back). Where it ends the
    // tail, the target does not reach it without a record, so the zero that
    // stands for the target there is wrong: a 1 takes its place, and the
    // last byte is written like any changed one, so that the target ends
    // where the modified file does. (Stepping to it from here instead would
    // call StepToWrite from a second place, and the compiler would no longer
    // inline it into Advance: 2% more instructions where every other byte
    // changes.)
    if (patch->fed > patch->tailStart && patch->modified[Slot(patch, patch->fed - 1)] == 0)
        patch->original[Slot(patch, patch->fed - 1)] = 1;
    Advance(patch, patch->fed);
    return WritePath(patch, patch->done);
}

void FreeSmallestPatch(SmallestPatch *patch)
{
    if (patch == NULL)
        return;
    VirtualFree(patch->steps, 0, MEM_RELEASE);
    free(patch);
}
