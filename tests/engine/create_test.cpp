// Creating patches: the exact records written, the records near the offset
// that reads as the terminator, round trips through ApplyPatch, and failures.
#include "engine/create.h"
#include "engine/ips32.h"
#include "platform/path_rules.h"
#include "engine_helpers.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

static const char kCreated[] = "IPS32ﾌｧｲﾙ %s を作成しました。";

class CreatePatchRecords : public TempDirTest {};

// Every row creates the same patch file, so the small ones after the large
// ones also show that an older patch is emptied.
TEST_F(CreatePatchRecords, EachPairGivesExactlyItsRecords)
{
    Bytes mixed = RandomBytes(131071, 3);
    for (unsigned char &byte : mixed)
        byte |= 1;  // differs from every zero byte
    const struct { const char *name; Bytes original, modified; std::vector<Bytes> records; } cases[] = {
        {"tail of an empty original", {}, ToBytes("ABC"), {Data(0, "ABC")}},
        {"tail of equal bytes", {}, Bytes(10, 0), {RunRecord(0, 10, 0)}},
        {"one run", ToBytes("AAAA"), ToBytes("ABBA"), {Data(1, "BB")}},
        {"one equal byte between", ToBytes("ABC"), ToBytes("XBX"), {Data(0, "X"), Data(2, "X")}},
        {"three equal bytes", ToBytes("abcde"), ToBytes("azzze"), {Data(1, "zzz")}},
        {"four equal bytes", ToBytes("abcdef"), ToBytes("azzzzf"), {RunRecord(1, 4, 'z')}},
        {"four bytes not all equal", ToBytes("abcdef"), ToBytes("azyzzf"), {Data(1, "zyzz")}},
        {"run at the end, then the tail", ToBytes("abc"), ToBytes("abXYZ"), {Data(2, "X"), Data(3, "YZ")}},
        {"equal run at the end, then equal tail", ToBytes("abcd"), Bytes(8, 'q'),
         {RunRecord(0, 4, 'q'), RunRecord(4, 4, 'q')}},
        {"65536 equal bytes", Bytes(65536, 0), Bytes(65536, 'A'), {RunRecord(0, 65535, 'A'), RunRecord(65535, 1, 'A')}},
        {"131071 bytes", Bytes(131071, 0), mixed,
         {DataOf(mixed, 0, 65535), DataOf(mixed, 65535, 131070), DataOf(mixed, 131070, 131071)}},
        {"equal files", ToBytes("same"), ToBytes("same"), {}},
        {"empty files", {}, {}, {}},
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ((EngineOutcome{1, Expected(kCreated, dir / "modified.ips"), BuildPatch(row.records)}),
                  CreateBytes(dir, row.original, row.modified));
    }
}

// The comparison passes over equal and differing bytes several at a time: a
// changed byte, and a run ended by one equal byte, are found at every alignment.
TEST_F(CreatePatchRecords, ChangesAndEqualBytesFoundAtEveryAlignment)
{
    const Bytes original = RandomBytes(200, 11);
    for (uint32_t at = 0; at < 64; ++at) {
        SCOPED_TRACE(at);
        // at changed; 40 equal bytes; 59 changed but for one equal byte 1 to 48 bytes into them.
        const uint32_t start = at + 41, equal = start + 1 + at % 48, end = start + 59;
        Bytes modified = original;
        modified[at] ^= 0x40;
        for (uint32_t i = start; i < end; ++i)
            modified[i] ^= i == equal ? 0 : 0x80;
        const Bytes patch = BuildPatch({DataOf(modified, at, at + 1), DataOf(modified, start, equal),
                                        DataOf(modified, equal + 1, end)});
        EXPECT_EQ((EngineOutcome{1, Expected(kCreated, dir / "modified.ips"), patch}),
                  CreateBytes(dir, original, modified));
    }
}

// A run or piece that would begin at the offset whose bytes read as "EEOF"
// begins a byte earlier; runs that merely touch that offset stay as they are.
TEST(WritePatchRecordNearTerminatorOffset, NoRecordBeginsThere)
{
    TempDir dir;
    const DWORD at = IPS32_TERMINATOR_OFFSET;
    const Bytes mixed = RandomBytes(70000, 5);
    // Each run follows the byte 'p', the one before it in the modified file.
    const struct { DWORD offset; Bytes run; std::vector<Bytes> records; } cases[] = {
        {at, ToBytes("abc"), {Data(at - 1, "pa"), Data(at + 1, "bc")}},
        {at, ToBytes("a"), {Data(at - 1, "pa")}},
        {at, Bytes(10, 'x'), {Data(at - 1, "px"), RunRecord(at + 1, 9, 'x')}},
        {at - 65535, Bytes(65536, 'v'), {RunRecord(at - 65535, 65534, 'v'), RunRecord(at - 1, 2, 'v')}},
        {at - 65535, mixed,
         {DataRecord(at - 65535, Prefix(mixed, 65534)), DataRecord(at - 1, Bytes(mixed.begin() + 65534, mixed.end()))}},
        {at - 65535, Bytes(65535, 'w'), {RunRecord(at - 65535, 65535, 'w')}},
        {at - 3, ToBytes("abc"), {Data(at - 3, "abc")}},
        {at - 1, ToBytes("ef"), {Data(at - 1, "ef")}},
        {at + 1, ToBytes("d"), {Data(at + 1, "d")}},
    };
    const std::string path = dir / "records.bin";
    for (const auto &row : cases) {
        SCOPED_TRACE((int)(row.offset - at));
        const Bytes bytes = Concat({ToBytes("p"), row.run});
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        PatchOutput output;
        EXPECT_TRUE(StartPatchOutput(&output, file) &&
                    WritePatchRecord(row.offset, (DWORD)row.run.size(), bytes.data() + 1, &output) &&
                    FlushPatchOutput(&output));
        EndPatchOutput(&output);
        EXPECT_TRUE(CloseHandle(file));
        EXPECT_EQ(Concat(row.records), ReadFileBytes(path));
    }
}

// Originals of random or zero bytes; changes of equal bytes or not, a few bytes
// long or beyond one record's length; a tail or none, of equal bytes or not.
TEST(CreatePatchRoundTrip, ApplyingTheCreatedPatchGivesTheModifiedFile)
{
    TempDir dir;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        const Bytes original = seed % 4 ? RandomBytes(random() % 300000, seed) : Bytes(random() % 300000, 0);
        Bytes modified = Concat({original, RandomBytes(random() % 2 ? random() % 70000 : 0, random())});
        if (random() % 2)
            std::fill(modified.begin() + (long)original.size(), modified.end(), (unsigned char)random());
        for (int changes = (int)(random() % 40); changes > 0 && !modified.empty(); --changes) {
            size_t at = random() % modified.size();
            size_t end = std::min<size_t>(modified.size(), at + (random() % 8 == 0 ? random() % 140000 : random() % 9));
            unsigned char value = (unsigned char)random();
            bool equal = random() % 2 != 0;
            for (size_t k = at; k < end; ++k)
                modified[k] = equal ? value : (unsigned char)random();
        }
        const Bytes patch = CreateBytes(dir, original, modified).output;
        EXPECT_EQ((EngineOutcome{1, Expected("%sは正常にﾊﾟｯﾁされました。", dir / "target.bin"), modified}),
                  ApplyBytes(dir, original, patch));
    }
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
        {original, modified, locked, cannotCreate, 0}};
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
