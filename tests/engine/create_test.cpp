// Creating patches, by stretches and smallest; the fuzz replays check many more pairs.
#include "engine/compare.h"
#include "engine/create.h"
#include "engine/ips32.h"
#include "engine/read_ahead.h"
#include "engine/smallest.h"
#include "platform/owned.h"
#include "platform/path_rules.h"
#include "apply_model.h"
#include "engine_helpers.h"
#include "one_processor.h"
#include "smallest_model.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <tuple>

static const char kCreated[] = "IPS32ﾌｧｲﾙ %s を作成しました。";

class CreatePatchRecords : public TempDirTest {};

static CreateTuning Reads(DWORD readSize)
{
    return {readSize, IPS32_TERMINATOR_OFFSET, false};
}

// Every row writes the same patch file, so later rows also show an older one emptied.
// Each runs with the readers comparing and not, mapping the files and not, and
// on one processor, without readers.
TEST_F(CreatePatchRecords, EachPairGivesExactlyItsRecords)
{
    Bytes mixed = RandomBytes(131071, 3);
    for (unsigned char &byte : mixed)
        byte |= 1;  // differs from every zero byte
    // More records than a reader keeps for a window, and more stretches left than it has segments.
    Bytes everyOther(30000, 0), alternating;
    std::vector<Bytes> everyOtherRecords, alternatingRecords;
    for (uint32_t at = 1; at < everyOther.size(); at += 2) {
        everyOther[at] = 1;
        everyOtherRecords.push_back(Data(at, "\x01"));
    }
    // The bytes a slot held before lie past the end of the last, shorter read.
    std::vector<Bytes> lastReadRecords(everyOtherRecords.begin(), everyOtherRecords.begin() + 544);
    lastReadRecords.push_back(Data(1097, "ab"));
    // Reads whose bytes the caller needs not, then one it needs, with the byte before.
    const Bytes beforeTerminator = Concat({Bytes(159, 0), ToBytes("p"), Bytes(8, 0)});
    Bytes afterWhole = beforeTerminator;
    std::vector<Bytes> afterWholeRecords;
    for (uint32_t at = 3; at < 160; at += 8) {
        afterWhole[at] = 'x';
        afterWholeRecords.push_back(Data(at, "x"));
    }
    afterWhole[160] = 'y';
    afterWholeRecords.push_back(Data(159, "py"));
    // Records that fill most of the output's buffer, then a stretch the comparing thread writes.
    const Bytes nearlyFull = Concat({everyOther, everyOther, Bytes(100, 0), Prefix(mixed, 1070), Bytes(30, 0)});
    std::vector<Bytes> nearlyFullRecords;
    for (uint32_t at = 1; at < 2 * everyOther.size(); at += 2)
        nearlyFullRecords.push_back(Data(at, "\x01"));
    nearlyFullRecords.push_back(DataRecord(60100, Prefix(mixed, 1070)));
    for (uint32_t unit = 0; unit < 70; ++unit) {
        alternatingRecords.push_back(DataRecord((uint32_t)alternating.size() + 1, Prefix(mixed, 1030)));
        alternatingRecords.push_back(Data((uint32_t)alternating.size() + 1040, "x"));
        alternating = Concat({alternating, Bytes(1, 0), Prefix(mixed, 1030), Bytes(9, 0), ToBytes("x")});
    }
    const struct {
        const char *name; Bytes original, modified; std::vector<Bytes> records; CreateTuning tuning = kCreateTuning;
    } cases[] = {
        {"tail of an empty original", {}, ToBytes("ABC"), {Data(0, "ABC")}},
        {"tail of equal bytes", {}, Bytes(10, 0), {RunRecord(0, 10, 0)}},
        {"one run", ToBytes("AAAA"), ToBytes("ABBA"), {Data(1, "BB")}},
        {"one equal byte between", ToBytes("ABC"), ToBytes("XBX"), {Data(0, "X"), Data(2, "X")}},
        {"three equal bytes", ToBytes("abcde"), ToBytes("azzze"), {Data(1, "zzz")}},
        {"four equal bytes", ToBytes("abcdef"), ToBytes("azzzzf"), {RunRecord(1, 4, 'z')}},
        {"four bytes not all equal", ToBytes("abcdef"), ToBytes("azzz\xfa" "f"), {Data(1, "zzz\xfa")}},
        {"four equal bytes well inside the file", Bytes(1000, 0), Concat({Bytes(500, 0), ToBytes("qqqq"), Bytes(496, 0)}),
         {RunRecord(500, 4, 'q')}},
        {"a change, then one to the end", ToBytes("abcdef"), ToBytes("aXcdYZ"), {Data(1, "X"), Data(4, "YZ")}},
        {"a change at the terminator's offset", Bytes(10, 0), Concat({Bytes(3, 0), ToBytes("x"), Bytes(1, 0), ToBytes("y"), Bytes(4, 0)}),
         {Data(3, "x"), Data(4, std::string("\0y", 2))}, {kCreateTuning.readSize, 5, true}},
        {"a change at the terminator's offset that begins a read, after short changes", beforeTerminator, afterWhole,
         afterWholeRecords, {8, 160, true}},
        {"a run to a read's end, then a short change", Bytes(16, 0), Concat({Bytes(6, 0), ToBytes("ab"), Bytes(3, 0), ToBytes("c"), Bytes(4, 0)}),
         {Data(6, "ab"), Data(11, "c")}, Reads(8)},
        {"run at the end, then the tail", ToBytes("abc"), ToBytes("abXYZ"), {Data(2, "X"), Data(3, "YZ")}},
        {"equal run at the end, then equal tail", ToBytes("abcd"), Bytes(8, 'q'),
         {RunRecord(0, 4, 'q'), RunRecord(4, 4, 'q')}},
        {"equal files", ToBytes("same"), ToBytes("same"), {}},
        {"empty files", {}, {}, {}},
        {"a change alone in the first block of a word of marks", Bytes(8192, 0),
         Concat({Bytes(10, 0), ToBytes("y"), Bytes(4085, 0), ToBytes("x"), Bytes(4095, 0)}),
         {Data(10, "y"), Data(4096, "x")}},
        {"a stretch too long for the reader between short ones", Bytes(1400, 0),
         Concat({Bytes(10, 0), ToBytes("x"), Bytes(89, 0), Prefix(mixed, 1070), Bytes(130, 0), ToBytes("y"), Bytes(99, 0)}),
         {Data(10, "x"), DataRecord(100, Prefix(mixed, 1070)), Data(1300, "y")}},
        {"more records than a reader keeps", Bytes(everyOther.size(), 0), everyOther, everyOtherRecords},
        {"more stretches left than a reader's segments", Bytes(alternating.size(), 0), alternating, alternatingRecords},
        {"a long stretch once the output's buffer is nearly full", Bytes(nearlyFull.size(), 0), nearlyFull,
         nearlyFullRecords},
        {"a stretch to the end of a block of 64, then equal blocks", Bytes(400, 0),
         Concat({Bytes(5, 0), ToBytes("x"), Bytes(54, 0), ToBytes("abcd"), Bytes(136, 0), ToBytes("y"), Bytes(199, 0)}),
         {Data(5, "x"), Data(60, "abcd"), Data(200, "y")}},
        {"a change at the end of a short last read, after reads of changes", Bytes(1099, 0),
         Concat({Prefix(everyOther, 1088), Bytes(9, 0), ToBytes("ab")}), lastReadRecords, Reads(64)},
        {"equal bytes, then another reads later", Bytes(20, 0), Concat({Bytes(2, 0), ToBytes("qqqqqqqqqqqqqqqr"), Bytes(2, 0)}),
         {Data(2, "qqqqqqqqqqqqqqqr")}, Reads(3)},
        {"65536 equal bytes over reads", Bytes(65537, 0), Concat({Bytes(1, 0), Bytes(65536, 'A')}),
         {RunRecord(1, 65535, 'A'), RunRecord(65536, 1, 'A')}, Reads(1000)},
        {"131071 bytes over reads", Bytes(131071, 0), mixed,
         {DataOf(mixed, 0, 65535), DataOf(mixed, 65535, 131070), DataOf(mixed, 131070, 131071)}, Reads(4096)},
        {"run to the original's end at a read's end, then the tail", ToBytes("abcdefgh"), ToBytes("abcdefXYZZZZZ"),
         {Data(6, "XY"), RunRecord(8, 5, 'Z')}, Reads(4)},
    };
    for (const auto &row : cases) {
        const char *const ways[] = {"readers", "readers comparing", "readers comparing, reading",
                                    "one processor, no readers"};
        for (int way = 0; way < 4; ++way) {
            SCOPED_TRACE(std::string(row.name) + ", " + ways[way]);
            std::optional<OnOneProcessor> one;
            if (way == 3)
                one.emplace();
            CreateTuning tuning = row.tuning;
            tuning.readersCompare = way == 1 || way == 2;
            tuning.readersMap = way != 2;
            EXPECT_EQ((EngineOutcome{1, Expected(kCreated, dir / "modified.ips"), BuildPatch(row.records)}),
                      CreateBytes(dir, row.original, row.modified, NULL, tuning));
        }
    }
}

TEST_F(CreatePatchRecords, SmallestPatchGivesExactlyItsRecords)
{
    Bytes alternate = RandomBytes(20, 9), uniform = Bytes(20, 'x');
    for (size_t i = 0; i < alternate.size(); i += 2)
        alternate[i] ^= 0x40;
    uniform[10] = 'k';
    const struct { const char *name; Bytes original, modified; std::vector<Bytes> records; } cases[] = {
        {"one equal byte between", ToBytes("ABC"), ToBytes("XBX"), {Data(0, "XBX")}},
        {"every other byte", RandomBytes(20, 9), alternate, {DataOf(alternate, 0, 19)}},
        {"equal byte of the run's value", Bytes(20, 'x'), Bytes(20, 'y'), {RunRecord(0, 20, 'y')}},
        {"run around an equal byte of the run's value", Concat({Bytes(10, 0), ToBytes("x"), Bytes(9, 0)}), Bytes(20, 'x'),
         {RunRecord(0, 20, 'x')}},
        {"runs around an equal byte", Concat({Bytes(10, 0), ToBytes("k"), Bytes(9, 0)}), uniform,
         {RunRecord(0, 10, 'x'), RunRecord(11, 9, 'x')}},
        {"changes apart, each a record of its own", Bytes(44, 0),
         Concat({Bytes(10, 0), ToBytes("ab"), Bytes(8, 0), ToBytes("cccc"), Bytes(8, 0), ToBytes("eee"), Bytes(9, 0)}),
         {Data(10, "ab"), RunRecord(20, 4, 'c'), Data(32, "eee")}},
        {"a long run amid changed bytes", Bytes(40, 0), Concat({Bytes(8, 0), ToBytes("ab"), Bytes(20, 'q'), ToBytes("cd"), Bytes(8, 0)}),
         {Data(8, "ab"), RunRecord(10, 20, 'q'), Data(30, "cd")}},
        {"run over equal bytes of its value back to a change", Concat({Bytes(10, 0), ToBytes("xy"), Bytes(7, 'c'), ToBytes("xxxx"), Bytes(10, 0)}),
         Concat({Bytes(10, 0), ToBytes("dc"), Bytes(11, 'c'), Bytes(10, 0)}), {Data(10, "d"), RunRecord(11, 12, 'c')}},
        {"a gap as long as a record's head between changes", ToBytes("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn"),
         ToBytes("ABCDEFGHIJ12MNOPQR34UVWXYZabcdefghijklmn"), {Data(10, "12"), Data(18, "34")}},
        {"zeros of the tail", {}, Bytes(5, 0), {Data(4, std::string(1, '\0'))}},
        {"run into the tail", ToBytes("ab"), Bytes(9, 'b'), {RunRecord(0, 9, 'b')}},
        {"run over a change and the tail's zeros", Bytes{2, 0}, Bytes(4, 0), {RunRecord(0, 4, 0)}},
        {"equal files", ToBytes("same"), ToBytes("same"), {}},
        {"empty files", {}, {}, {}},
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ((EngineOutcome{1, Expected(kCreated, dir / "modified.ips"), BuildPatch(row.records)}),
                  CreateBytes(dir, row.original, row.modified, NULL, kCreateTuning, CreateSmallestPatch));
    }
}

template <class Wide>
static void ExpectFinds(const Bytes &a, const Bytes &b, uint64_t expected)
{
    EXPECT_EQ(expected, Wide::DifferenceMask(a.data(), b.data()));
    EXPECT_EQ(expected == 0, Wide::Same(a.data(), b.data()));
}

TEST(WideCompare, WordsAndVectorsFindEveryDifference)
{
    std::vector<Bytes> changes = {Bytes(64, 0), Bytes(64, 0xFF), RandomBytes(64, 5)};
    for (int k = 0; k < 64; ++k) {
        changes.push_back(Bytes(64, 0));
        changes.back()[k] = (unsigned char)(1u << (k % 8));
    }
    const Bytes base = RandomBytes(64, 6);
    for (const Bytes &change : changes) {
        Bytes other = base;
        uint64_t expected = 0;
        for (int k = 0; k < 64; ++k) {
            other[k] ^= change[k];
            expected |= (uint64_t)(change[k] != 0) << k;
        }
        SCOPED_TRACE(::testing::PrintToString(change));
        ExpectFinds<WordCompare>(base, other, expected);
        ExpectFinds<BaselineCompare>(base, other, expected);
        if (HasAvx2())
            ExpectFinds<Avx2Compare>(base, other, expected);
    }
}

class CreatePatchRoundTrip : public TempDirTest {};

// Random small pairs of three values, in pieces of a few bytes: as small as the model's.
TEST_F(CreatePatchRoundTrip, SmallestPatchOfSmallPairsHasTheModelsSize)
{
    std::mt19937 random(7);
    for (int pair = 0; pair < 600; ++pair) {
        const bool longer = pair % 2 == 1;
        Bytes original(random() % (longer ? 64 : 7)), modified;
        for (unsigned char &byte : original)
            byte = (unsigned char)(random() % 3);
        for (unsigned char byte : original)
            modified.push_back(random() % (longer ? 6 : 2) ? byte : (unsigned char)(random() % 3));
        for (size_t tail = modified.size() < 7 ? random() % 3 : 0; tail > 0; --tail)
            modified.push_back(random() % 2 ? 0 : (unsigned char)(random() % 3));
        SCOPED_TRACE(::testing::PrintToString(original) + " to " + ::testing::PrintToString(modified));
        const Bytes patch = SmallestPatchOf(dir / "smallest.ips", original, modified, SMALLEST_WINDOW_MIN,
                                            longer ? 9 + pair % 50 : 1 + pair % 3, IPS32_TERMINATOR_OFFSET,
                                            pair % 4 >= 2);
        EXPECT_EQ(modified, ApplyModel(original, patch).target);
        EXPECT_EQ(SmallestByModel(original, modified), patch.size());
    }
}

// Where the ways on stay apart for over half the window, a quarter window is taken as it
// stands: at most 9 bytes more for each.
TEST_F(CreatePatchRoundTrip, SmallestPatchInTheSmallestWindowStaysWithinItsBound)
{
    const Bytes original = RandomBytes(3u << 20, 4);
    Bytes modified = Concat({original, Bytes(100000, 0), RandomBytes(1000, 5)});
    for (size_t i = 0; i < original.size(); ++i)
        modified[i] ^= i % 1009 ? 0x80 : 0;
    const Bytes patch = SmallestPatchOf(dir / "smallest.ips", original, modified, SMALLEST_WINDOW_MIN, 77777,
                                        IPS32_TERMINATOR_OFFSET);
    EXPECT_EQ(modified, ApplyModel(original, patch, 16u << 20).target);
    const size_t model = SmallestByModel(original, modified);
    EXPECT_LE(model, patch.size());
    EXPECT_GE(model + 9 * modified.size() / (SMALLEST_WINDOW_MIN / 4), patch.size());
}

// Pieces with more stretches, or more bytes of records, than a reader has room for: the
// writer finds the rest itself, and the patch is the same.
TEST_F(CreatePatchRoundTrip, SmallestPatchIsTheSameWhateverTheReadersFound)
{
    const Bytes original = RandomBytes(1u << 20, 8);
    Bytes modified = original;
    for (size_t i = 0; i < modified.size(); ++i)
        modified[i] ^= i < (100u << 10) ? (i % 8 == 3 ? 1 : 0) : (i % 2000 < 1000 ? 2 : 0);
    const Bytes patch = SmallestPatchOf(dir / "smallest.ips", original, modified, SMALLEST_WINDOW, 256u << 10,
                                        IPS32_TERMINATOR_OFFSET);
    EXPECT_EQ(patch, SmallestPatchOf(dir / "found.ips", original, modified, SMALLEST_WINDOW, 256u << 10,
                                     IPS32_TERMINATOR_OFFSET, true));
    EXPECT_EQ(SmallestByModel(original, modified), patch.size());
}

// patchCreated tells whether the patch file was made (emptied) before the end.
TEST(CreatePatchFailures, EachFailureHasItsTextAndLeavesOtherFilesAlone)
{
    TempDir dir;
    const std::string original = dir / "original.bin", modified = dir / "modified.bin", shorter = dir / "short.bin",
                      missing = dir / "missing.bin", older = dir / "older.ips", locked = dir / "locked.ips";
    WriteFileBytes(original, ToBytes("abc"));
    WriteFileBytes(modified, ToBytes("abd"));
    WriteFileBytes(shorter, ToBytes("ab"));
    WriteFileBytes(older, ToBytes("older"));
    WriteFileBytes(locked, ToBytes("keep"));
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    const char cannotCreate[] = "新規ﾌｧｲﾙを作成できません。";
    // original, modified, patch, text, patchCreated
    std::vector<std::tuple<std::string, std::string, std::string, std::string, BOOL>> cases = {
        {missing, modified, dir / "new.ips", Expected("%sを開けません。", missing), 0},
        {original, dir.path(), dir / "new.ips", Expected("%sを開けません。", dir.path()), 0},
        {original, shorter, older, "変更後のﾌｧｲﾙのｻｲｽﾞが、変更前のｻｲｽﾞよりも小さいためIPSを作成できません。", 0},
        {original, modified, dir.path(), cannotCreate, 0},
        {original, modified, dir / "missing" + kPathSeparator + "new.ips", cannotCreate, 0},
        {original, modified, locked, cannotCreate, 0},
        {dir / "4GiB.bin", modified, dir / "new.ips", Expected("%sを開けません。", dir / "4GiB.bin"), 0}};
    WriteFileBytes(dir / "4GiB.bin", {});
    std::filesystem::resize_file(FsPath(dir / "4GiB.bin"), 1ull << 32);  // sparse: no room taken
    // Files that read shorter than their size; where both do, the original is named.
    const std::string shrinks = "/sys/devices/system/cpu/online", alsoShrinks = "/sys/devices/system/cpu/possible";
    const std::string longer = dir / "longer.bin";
    WriteFileBytes(longer, Bytes(5000, 'x'));
    if (PathExists(shrinks) && PathExists(alsoShrinks)) {
        cases.push_back({shrinks, longer, dir / "shrinks.ips", Expected("%sを開けません。", shrinks), 1});
        cases.push_back({original, shrinks, dir / "shrinks.ips", Expected("%sを開けません。", shrinks), 1});
        cases.push_back({shrinks, alsoShrinks, dir / "shrinks.ips", Expected("%sを開けません。", shrinks), 1});
    }
    for (const auto &[originalPath, modifiedPath, patchPath, expected, expectedCreated] : cases) {
        SCOPED_TRACE(expected);
        char text[ENGINE_TEXT_SIZE] = "";
        BOOL created = -1;
        EXPECT_EQ(0, CreatePatch(originalPath.c_str(), modifiedPath.c_str(), patchPath.c_str(), text, sizeof text,
                                 NULL, 0, &created));
        EXPECT_EQ(expected, text);
        EXPECT_EQ(expectedCreated, created);
    }
    EXPECT_FALSE(PathExists(dir / "new.ips"));
    EXPECT_EQ(ToBytes("older"), ReadFileBytes(older));
    EXPECT_EQ(ToBytes("keep"), ReadFileBytes(locked));
}

// A file made shorter under the reader fails, naming it: the window past its
// new end where that is read; where it lies in a view (whose bytes there read
// as zeros), the first window after the view, or Done where none is taken.
TEST(ReadAheadFailures, AFileMadeShorterUnderTheReaderFailsNamingIt)
{
    const DWORD size = 6u << 20, cut = 65536, stop[] = {2u << 20, (2u << 20) - cut};
    for (DWORD last : stop) {
        SCOPED_TRACE(last);
        TempDir dir;
        WriteFileBytes(dir / "original.bin", RandomBytes(size, 2));
        WriteFileBytes(dir / "modified.bin", RandomBytes(size, 3));
        const auto open = [&](const char *name) {
            return OwnedHandle(CreateFileA((dir / name).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
        };
        OwnedHandle original = open("original.bin"), modified = open("modified.bin");
        ReadAhead reader;
        ASSERT_TRUE(reader.Start(original.get(), modified.get(), {cut, size, size}, 16, NULL, true));
        Window window;
        bool failedModified = false;
        ASSERT_TRUE(reader.Next(&window, &failedModified));
        std::error_code refused;
        std::filesystem::resize_file(FsPath(dir / "modified.bin"), cut, refused);
        if (refused)
            GTEST_SKIP() << "a file held open keeps its length here";
        // Windows are taken up to the one at last; the bytes of those before 2 MiB are read.
        BOOL whole = 1;
        while (whole && window.at < last && (whole = reader.Next(&window, &failedModified)) &&
               window.at < (2u << 20))
            EXPECT_EQ(Bytes(window.size, 0), Bytes(window.modified, window.modified + window.size)) << window.at;
        EXPECT_FALSE(whole && reader.Done(&failedModified));
        EXPECT_TRUE(failedModified);
    }
}

// Each call gives back what it took (the sanitizer build finds leaks itself).
// Resident pages are counted: the address space mapped also grows by 64 MiB
// whenever two threads start at once and the C library reserves a heap for
// the second, which is never used.
#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__)
TEST(CreatePatchMemory, EachCallGivesBackWhatItTook)
{
    TempDir dir;
    auto mapped = [] {
        std::ifstream statm("/proc/self/statm");
        long size = 0, resident = 0;
        statm >> size >> resident;
        return resident * 4096;
    };
    // Short changes far apart, which the readers read into slots of their
    // own, and 12 calls, so that those slots, 1 MiB a call, would not pass.
    const Bytes original = RandomBytes(3 << 20, 1);
    Bytes modified = original;
    for (size_t at = 500; at < modified.size(); at += 1000)
        modified[at] ^= 1;
    long before = 0;
    for (int call = 0; call < 12; ++call) {
        if (call == 1)
            before = mapped();  // after what the first call keeps for good
        CreateBytes(dir, original, modified);
        CreateBytes(dir, original, modified, NULL, kCreateTuning, CreateSmallestPatch);
    }
    EXPECT_LT(mapped() - before, 8 << 20);
}
#endif
