// Applying patches: the format, gathered writes, the offset range, failures; the fuzz replays check cut and random patches.
#include "engine/engine.h"
#include "platform/stream.h"
#include "apply_model.h"
#include "engine_helpers.h"
#ifndef _WIN32
#include "io_faults.h"
#endif

#include <gtest/gtest.h>

#include <tuple>

static const char kPatched[] = "%sは正常にﾊﾟｯﾁされました。";

class ApplyPatchFormat : public TempDirTest {};

// Data records of size bytes each that write bytes whole from offset on.
static Bytes Pieces(uint32_t offset, const Bytes &bytes, uint32_t size)
{
    std::vector<Bytes> records;
    for (uint32_t at = 0; at < bytes.size(); at += size)
        records.push_back(DataRecord(offset + at, Bytes(bytes.begin() + at, bytes.begin() + at + size)));
    return Concat(records);
}

TEST_F(ApplyPatchFormat, EachPatchLeavesItsTarget)
{
    // Two-byte records from 87 to 101, the last where the bytes written end; then one far off.
    const Bytes batch = BuildPatch({Data(0, "a"), Data(100, "b"), Pieces(87, ToBytes("ABCDEFGHIJKLMNOP"), 2),
                                    DataRecord(5000, Bytes(2000, '!'))});
    const struct { const char *name; Bytes target, patch, expected; } cases[] = {
        {"worked example", Bytes(0x20, 0x11),
         {0x49, 0x50, 0x53, 0x33, 0x32, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x03, 0x00, 0xAA,
          0x00, 0x00, 0x04, 0x00, 0x00, 0x03, 0x41, 0x42, 0x43, 0x45, 0x45, 0x4F, 0x46},
         Concat({Bytes(0x10, 0x11), Bytes(0x300, 0xAA), Bytes(0xF0, 0), ToBytes("ABC")})},
        {"nine-byte patch", ToBytes("same"), BuildPatch({}), ToBytes("same")},
        {"bytes after the terminator", ToBytes("abcd"),
         Concat({BuildPatch({Data(1, "x")}), Data(2, "y"), ToBytes("junk")}), ToBytes("axcd")},
        {"overlapping records", ToBytes("abcdefgh"),
         BuildPatch({RunRecord(0, 6, 'r'), Data(2, "dd"), RunRecord(3, 2, 's'), Data(0, "e")}), ToBytes("erdssrgh")},
        {"zero-length runs, also past the end", ToBytes("abc"),
         BuildPatch({Data(0, "x"), RunRecord(100, 0, 'x'), RunRecord(2, 0, 'y'), RunRecord(0x70000000, 0, 'z')}),
         ToBytes("xbc")},
        {"record past the end", ToBytes("ab"), BuildPatch({Data(6, "xy")}), ToBytes(std::string("ab\0\0\0\0xy", 8))},
        {"longest run", Bytes(), BuildPatch({RunRecord(1, 65535, 0x5A)}), Concat({Bytes(1, 0), Bytes(65535, 0x5A)})},
        {"same-size records past the bytes written", ToBytes("abcd"), batch, ApplyModel(ToBytes("abcd"), batch).target},
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ((EngineOutcome{1, Expected(kPatched, dir / "target.bin"), row.expected}),
                  ApplyBytes(dir, row.target, row.patch));
        EXPECT_EQ((EngineOutcome{1, "", row.expected}), ApplyBytes(dir, row.target, row.patch, NULL, false));
    }
}

// Records close together share one write; the outcome is that of one record at a time.
class ApplyPatchGatheredWrites : public TempDirTest {};

// Two-byte records three bytes apart: some record reaches past the end of each block.
TEST_F(ApplyPatchGatheredWrites, DenseRecordsAcrossSeveralBlocksAndPastTheEnd)
{
    std::vector<Bytes> records;
    for (uint32_t offset = 0; offset < (3u << 20); offset += 3)
        records.push_back(DataRecord(offset, {(unsigned char)(offset >> 2), (unsigned char)(offset >> 10)}));
    const Bytes target = RandomBytes(2u << 20, 7), patch = BuildPatch(records);
    EXPECT_EQ((EngineOutcome{1, Expected(kPatched, dir / "target.bin"), ApplyModel(target, patch).target}),
              ApplyBytes(dir, target, patch));
}

// count bytes of the file at path from offset on, fewer where it ends.
static Bytes BytesAt(const std::string &path, int64_t offset, size_t count)
{
    Bytes bytes(count);
    FILE *file = OpenStream(path.c_str(), "rb");
    bytes.resize(file != NULL && SeekStream(file, offset, SEEK_SET) == 0 ? fread(bytes.data(), 1, count, file) : 0);
    if (file != NULL)
        fclose(file);
    return bytes;
}

// The target is sparse, so a 4 GiB target takes next to no room.
TEST(ApplyPatchLargeOffsets, RecordsLandAtTheirOffsetUpToTheLastByteOfTheRange)
{
    TempDir dir;
    const std::string target = dir / "target.bin", patch = dir / "patch.ips";
    WriteFileBytes(target, ToBytes("start"));
    WriteFileBytes(patch, BuildPatch({Data(0x80000010u, "high"), RunRecord(0x80000000u, 4, 'r'),
                                      Data(0x80000012u, "GH"), Data(0xFFFFFFFFu, "z")}));
    char text[ENGINE_TEXT_SIZE];
    ASSERT_EQ(1, ApplyPatch(target.c_str(), patch.c_str(), text, sizeof text, NULL, 0)) << text;
    EXPECT_EQ(ToBytes("start"), BytesAt(target, 0, 5));
    EXPECT_EQ(Concat({Bytes(4, 'r'), Bytes(12, 0), ToBytes("hiGH"), Bytes(4, 0)}), BytesAt(target, 0x80000000, 24));
    EXPECT_EQ(ToBytes("z"), BytesAt(target, 0xFFFFFFFF, 2));  // and nothing after it
}

TEST(ApplyPatchFailures, EachFailureNamesItsFileAndChangesNoFile)
{
    TempDir dir;
    const std::string patch = dir / "patch.ips", target = dir / "target.bin", locked = dir / "locked.bin";
    WriteFileBytes(patch, BuildPatch({RunRecord(0, 1000, 'x')}));
    WriteFileBytes(dir / "other.ips", ToBytes("IPS33EEOF"));
    WriteFileBytes(locked, ToBytes("keep"));
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    // target, patch, text, and whether the text names the target (else the patch).
    std::vector<std::tuple<std::string, std::string, const char *, bool>> cases = {
        {target, dir / "missing.ips", "%sを開けません。", false},
        {target, dir.path(), "%sを開けません。", false},
        {target, dir / "other.ips", "%sは、IPS32ﾌｧｲﾙではありません。", false},
        {target, patch, "%sを書き込みﾓｰﾄﾞで開けません。", true},
        {locked, patch, "%sを書き込みﾓｰﾄﾞで開けません。", true},
        {dir.path(), patch, "%sを書き込みﾓｰﾄﾞで開けません。", true}};
    for (const auto &[targetPath, patchPath, format, namesTarget] : cases) {
        SCOPED_TRACE(targetPath + " " + patchPath);
        char text[ENGINE_TEXT_SIZE] = "";
        EXPECT_EQ(0, ApplyPatch(targetPath.c_str(), patchPath.c_str(), text, sizeof text, NULL, 0));
        EXPECT_EQ(Expected(format, namesTarget ? targetPath : patchPath), text);
    }
    EXPECT_FALSE(PathExists(target));
    EXPECT_EQ(ToBytes("keep"), ReadFileBytes(locked));
    char untouched[] = "untouched";  // a null path: 0 at once, and no text
    EXPECT_EQ(0, ApplyPatch(NULL, patch.c_str(), untouched, sizeof untouched, NULL, 0));
    EXPECT_EQ(0, ApplyPatch(target.c_str(), NULL, untouched, sizeof untouched, NULL, 0));
    EXPECT_STREQ("untouched", untouched);
}

#ifndef _WIN32
// A written file whose close fails (a network volume's late write error) fails the run.
TEST(EngineCloseFailures, AWrittenFileThatFailsToCloseFailsTheRun)
{
    TempDir dir;
    const std::string target = dir / "target.bin", patch = dir / "patch.ips";
    WriteFileBytes(target, ToBytes("abc"));
    WriteFileBytes(patch, BuildPatch({Data(1, "x")}));
    HANDLE file = CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    char applied[ENGINE_TEXT_SIZE], created[ENGINE_TEXT_SIZE];
    IoFaults faults(SIZE_MAX, true);
    EXPECT_EQ(0, ApplyPatchTo(file, "target.bin", patch.c_str(), applied, sizeof applied, NULL, 0));
    EXPECT_EQ(0, CreatePatch(patch.c_str(), patch.c_str(), (dir / "new.ips").c_str(), created, sizeof created, NULL,
                             0, NULL));
    EXPECT_STREQ("target.binに書き込めません。", applied);
    EXPECT_STREQ("作成中にｴﾗｰが発生しました。", created);
    CloseHandle(file);
}
#endif
