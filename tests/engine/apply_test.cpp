// Applying patches: the format's meaning, cut patches, failures, and the
// gathering of writes to the target.
#include "engine/apply.h"
#include "engine/ips32.h"
#include "platform/stream.h"
#include "apply_model.h"
#include "engine_helpers.h"

#include <gtest/gtest.h>

#include <random>

static const char kPatched[] = "%sは正常にﾊﾟｯﾁされました。";
static const char kNoTerminator[] = "FEOFが見つかりません。";

class ApplyPatchFormat : public TempDirTest {};

TEST_F(ApplyPatchFormat, WorkedExampleWritesRunAndData)
{
    const Bytes patch = {0x49, 0x50, 0x53, 0x33, 0x32, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x03, 0x00, 0xAA,
                         0x00, 0x00, 0x04, 0x00, 0x00, 0x03, 0x41, 0x42, 0x43, 0x45, 0x45, 0x4F, 0x46};
    EngineOutcome outcome = ApplyBytes(dir, Bytes(0x20, 0x11), patch);

    Bytes expected(0x403, 0x00);
    std::fill(expected.begin(), expected.begin() + 0x10, 0x11);
    std::fill(expected.begin() + 0x10, expected.begin() + 0x310, 0xAA);
    expected[0x400] = 'A';
    expected[0x401] = 'B';
    expected[0x402] = 'C';
    EXPECT_EQ(1, outcome.result);
    EXPECT_EQ(Expected(kPatched, dir / "target.bin"), outcome.text);
    EXPECT_EQ(expected, outcome.output);
}

TEST_F(ApplyPatchFormat, EmptyPatchLeavesTargetUnchanged)
{
    const Bytes target = ToBytes("unchanged");
    EngineOutcome outcome = ApplyBytes(dir, target, BuildPatch({}));
    EXPECT_EQ(1, outcome.result);
    EXPECT_EQ(target, outcome.output);
}

TEST_F(ApplyPatchFormat, BytesAfterTerminatorAreIgnored)
{
    Bytes patch = Concat({BuildPatch({DataRecord(1, ToBytes("x"))}), DataRecord(2, ToBytes("y")), ToBytes("junk")});
    EngineOutcome outcome = ApplyBytes(dir, ToBytes("abcd"), patch);
    EXPECT_EQ(1, outcome.result);
    EXPECT_EQ(ToBytes("axcd"), outcome.output);
}

TEST_F(ApplyPatchFormat, LaterRecordWinsWhereRecordsOverlap)
{
    Bytes patch = BuildPatch({RunRecord(0, 6, 'r'), DataRecord(2, ToBytes("dd")), RunRecord(3, 2, 's'),
                              DataRecord(0, ToBytes("e"))});
    EngineOutcome outcome = ApplyBytes(dir, ToBytes("abcdefgh"), patch);
    EXPECT_EQ(1, outcome.result);
    EXPECT_EQ(ToBytes("erdssrgh"), outcome.output);
}

TEST_F(ApplyPatchFormat, ZeroLengthRunPastTheEndWritesNothing)
{
    Bytes patch = BuildPatch({RunRecord(100, 0, 'x'), RunRecord(2, 0, 'y'), RunRecord(0x70000000, 0, 'z')});
    EngineOutcome outcome = ApplyBytes(dir, ToBytes("abc"), patch);
    EXPECT_EQ(1, outcome.result);
    EXPECT_EQ(ToBytes("abc"), outcome.output);
}

TEST_F(ApplyPatchFormat, RecordPastTheEndLengthensTargetWithZeros)
{
    EngineOutcome outcome = ApplyBytes(dir, ToBytes("ab"), BuildPatch({DataRecord(6, ToBytes("xy"))}));
    EXPECT_EQ(1, outcome.result);
    EXPECT_EQ(Bytes({'a', 'b', 0, 0, 0, 0, 'x', 'y'}), outcome.output);
}

TEST_F(ApplyPatchFormat, LongestRunWritesExactly65535Bytes)
{
    EngineOutcome outcome = ApplyBytes(dir, Bytes(), BuildPatch({RunRecord(1, 65535, 0x5A)}));
    Bytes expected(65536, 0x5A);
    expected[0] = 0;
    EXPECT_EQ(1, outcome.result);
    EXPECT_EQ(expected, outcome.output);
}

TEST(ApplyPatchArguments, NullPathReturnsZeroWithoutText)
{
    char text[16] = "before";
    EXPECT_EQ(0, ApplyPatch(NULL, "patch.ips", text, sizeof text, NULL, 0));
    EXPECT_EQ(0, ApplyPatch("target.bin", NULL, text, sizeof text, NULL, 0));
    EXPECT_STREQ("before", text);
}

TEST_F(ApplyPatchFormat, NullBufferGivesSameResultAndTarget)
{
    std::string target = dir / "target.bin";
    std::string patch = dir / "patch.ips";
    WriteFileBytes(target, ToBytes("abc"));
    WriteFileBytes(patch, BuildPatch({DataRecord(1, ToBytes("X"))}));
    EXPECT_EQ(1, ApplyPatch(target.c_str(), patch.c_str(), NULL, ENGINE_TEXT_SIZE, NULL, 0));
    EXPECT_EQ(ToBytes("aXc"), ReadFileBytes(target));
    WriteFileBytes(patch, ToBytes("IPS32"));
    EXPECT_EQ(0, ApplyPatch(target.c_str(), patch.c_str(), NULL, 0, NULL, 0));
}

class ApplyPatchTruncated : public TempDirTest {};

TEST_F(ApplyPatchTruncated, EveryCutPointFailsAndKeepsTheRecordsBefore)
{
    const Bytes target = ToBytes("0123456789abcdef");
    const Bytes patch = BuildPatch({DataRecord(0x10, ToBytes("abc")), RunRecord(2, 300, 'x'),
                                    DataRecord(1, ToBytes("yz")), RunRecord(40, 0, 'q')});
    for (size_t cut = 0; cut < patch.size(); ++cut) {
        SCOPED_TRACE(cut);
        EngineOutcome outcome = ApplyBytes(dir, target, Prefix(patch, cut));
        EXPECT_EQ(0, outcome.result);
        if (cut < IPS32_MAGIC_SIZE)
            continue;
        EXPECT_EQ(kNoTerminator, outcome.text);
        EXPECT_EQ(ApplyModel(target, Prefix(patch, cut)).target, outcome.output);
    }
}

TEST_F(ApplyPatchTruncated, MagicAloneFailsAndLeavesTargetUnchanged)
{
    EngineOutcome outcome = ApplyBytes(dir, ToBytes("same"), ToBytes("IPS32"));
    EXPECT_EQ(0, outcome.result);
    EXPECT_EQ(kNoTerminator, outcome.text);
    EXPECT_EQ(ToBytes("same"), outcome.output);
}

// Records that lie close together share one write to the target; whatever the
// order, overlap and gaps, the outcome must be that of one record at a time.
class ApplyPatchGatheredWrites : public TempDirTest {
protected:
    static Bytes RandomPatch(std::mt19937 &random, uint32_t span, int records)
    {
        std::vector<Bytes> parts;
        uint32_t offset = 0;
        for (int i = 0; i < records; ++i) {
            switch (random() % 4) {
            case 0: offset = random() % span; break;               // anywhere
            case 1: offset += random() % 16; break;                // just after, or over the last
            case 2: offset += random() % 9000; break;              // across a gap
            default: offset -= std::min<uint32_t>(offset, random() % 300); break;  // back over earlier ones
            }
            uint32_t size = random() % 8 == 0 ? random() % 65536 : random() % 40;
            if (random() % 2)
                parts.push_back(RunRecord(offset, (uint16_t)size, (unsigned char)random()));
            else if (size > 0)
                parts.push_back(DataRecord(offset, RandomBytes(size, random())));
            offset += size;
        }
        return BuildPatch(parts);
    }
};

TEST_F(ApplyPatchGatheredWrites, RandomPatchesGiveTheModelsResult)
{
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        uint32_t span = seed % 3 == 0 ? 3u << 20 : 200000;
        Bytes target = RandomBytes(random() % span, seed);
        Bytes patch = RandomPatch(random, span, seed % 3 == 0 ? 400 : 150);
        EngineOutcome outcome = ApplyBytes(dir, target, patch);
        EXPECT_EQ(1, outcome.result);
        EXPECT_TRUE(ApplyModel(target, patch).target == outcome.output);
    }
}

// Two-byte records three bytes apart: as the block's size is one more than a
// multiple of three, some record reaches a byte past the end of each block.
TEST_F(ApplyPatchGatheredWrites, DenseRecordsAcrossSeveralBlocksAndPastTheEnd)
{
    Bytes patch = PatchHeader();
    patch.reserve(8u << 20);
    for (uint32_t offset = 0; offset < (3u << 20); offset += 3) {
        const unsigned char record[] = {(unsigned char)(offset >> 24), (unsigned char)(offset >> 16),
                                        (unsigned char)(offset >> 8), (unsigned char)offset, 0, 2,
                                        (unsigned char)(offset >> 2), (unsigned char)(offset >> 10)};
        patch.insert(patch.end(), record, record + sizeof record);
    }
    patch.insert(patch.end(), {'E', 'E', 'O', 'F'});
    Bytes target = RandomBytes(2u << 20, 7);
    EngineOutcome outcome = ApplyBytes(dir, target, patch);
    EXPECT_EQ(1, outcome.result);
    EXPECT_TRUE(ApplyModel(target, patch).target == outcome.output);
}

class ApplyPatchFailures : public TempDirTest {
protected:
    BOOL Apply(const std::string &target, const std::string &patch)
    {
        text[0] = 0;
        return ApplyPatch(target.c_str(), patch.c_str(), text, sizeof text, NULL, 0);
    }
    char text[ENGINE_TEXT_SIZE];
};

TEST_F(ApplyPatchFailures, MissingPatchCannotBeOpened)
{
    std::string patch = dir / "missing.ips";
    EXPECT_EQ(0, Apply(dir / "target.bin", patch));
    EXPECT_EQ(Expected("%sを開けません。", patch), text);
}

TEST_F(ApplyPatchFailures, DirectoryAsPatchCannotBeOpened)
{
    EXPECT_EQ(0, Apply(dir / "target.bin", dir.path()));
    EXPECT_EQ(Expected("%sを開けません。", dir.path()), text);
}

TEST_F(ApplyPatchFailures, PatchWithoutMagicIsNoIps32FileAndTargetIsNotOpened)
{
    std::string patch = dir / "patch.ips";
    std::string target = dir / "target.bin";
    for (const char *content : {"", "IPS3", "ips32EEOF", "IPS33EEOF", "PATCHEOF"}) {
        SCOPED_TRACE(content);
        WriteFileBytes(patch, ToBytes(content));
        EXPECT_EQ(0, Apply(target, patch));
        EXPECT_EQ(Expected("%sは、IPS32ﾌｧｲﾙではありません。", patch), text);
        EXPECT_FALSE(PathExists(target));
    }
}

TEST_F(ApplyPatchFailures, MissingTargetIsNotCreated)
{
    std::string patch = dir / "patch.ips";
    std::string target = dir / "target.bin";
    WriteFileBytes(patch, BuildPatch({DataRecord(0, ToBytes("x"))}));
    EXPECT_EQ(0, Apply(target, patch));
    EXPECT_EQ(Expected("%sを書き込みﾓｰﾄﾞで開けません。", target), text);
    EXPECT_FALSE(PathExists(target));
}

TEST_F(ApplyPatchFailures, ReadOnlyOrDirectoryTargetCannotBeOpenedForWriting)
{
    std::string patch = dir / "patch.ips";
    std::string target = dir / "target.bin";
    WriteFileBytes(patch, BuildPatch({DataRecord(0, ToBytes("x"))}));
    WriteFileBytes(target, ToBytes("keep"));
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(0, Apply(target, patch));
    EXPECT_EQ(Expected("%sを書き込みﾓｰﾄﾞで開けません。", target), text);
    EXPECT_EQ(ToBytes("keep"), ReadFileBytes(target));

    EXPECT_EQ(0, Apply(dir.path(), patch));
    EXPECT_EQ(Expected("%sを書き込みﾓｰﾄﾞで開けません。", dir.path()), text);
}

TEST_F(ApplyPatchFailures, FailedWriteIsAFailure)
{
    const std::string full = "/dev/full";
    if (!PathExists(full))
        GTEST_SKIP() << "no " << full << " here";
    std::string patch = dir / "patch.ips";
    WriteFileBytes(patch, BuildPatch({RunRecord(0, 1000, 'x')}));
    EXPECT_EQ(0, Apply(full, patch));
    EXPECT_EQ(Expected("%sに書き込めません。", full), text);
}

// Offsets of 2^31 and above are written at exactly their offset; the targets
// are sparse, so they take next to no room.
class ApplyPatchLargeOffsets : public TempDirTest {
protected:
    static int64_t SizeOf(const std::string &path)
    {
        FILE *file = OpenStream(path.c_str(), "rb");
        int64_t size = file != NULL && SeekStream(file, 0, SEEK_END) == 0 ? TellStream(file) : -1;
        if (file != NULL)
            fclose(file);
        return size;
    }
    static Bytes BytesAt(const std::string &path, int64_t offset, size_t size)
    {
        Bytes bytes(size);
        FILE *file = OpenStream(path.c_str(), "rb");
        if (file == NULL || SeekStream(file, offset, SEEK_SET) != 0)
            bytes.clear();
        else
            bytes.resize(fread(bytes.data(), 1, size, file));
        if (file != NULL)
            fclose(file);
        return bytes;
    }
};

TEST_F(ApplyPatchLargeOffsets, RecordsBeyond2GiBLandAtTheirOffset)
{
    std::string target = dir / "target.bin";
    std::string patch = dir / "patch.ips";
    WriteFileBytes(target, ToBytes("start"));
    WriteFileBytes(patch, BuildPatch({DataRecord(0x80000010u, ToBytes("high")), RunRecord(0x80000000u, 4, 'r'),
                                      DataRecord(0x80000012u, ToBytes("GH"))}));
    char text[ENGINE_TEXT_SIZE];
    ASSERT_EQ(1, ApplyPatch(target.c_str(), patch.c_str(), text, sizeof text, NULL, 0)) << text;
    EXPECT_EQ(0x80000014, SizeOf(target));
    EXPECT_EQ(ToBytes("start"), BytesAt(target, 0, 5));
    EXPECT_EQ(Bytes({'r', 'r', 'r', 'r', 0, 0}), BytesAt(target, 0x80000000, 6));
    EXPECT_EQ(ToBytes("hiGH"), BytesAt(target, 0x80000010, 4));
}

TEST_F(ApplyPatchLargeOffsets, LastByteOfTheOffsetRangeMakesA4GiBTarget)
{
    std::string target = dir / "target.bin";
    std::string patch = dir / "patch.ips";
    WriteFileBytes(target, Bytes());
    WriteFileBytes(patch, BuildPatch({DataRecord(0xFFFFFFFFu, ToBytes("z"))}));
    ASSERT_EQ(1, ApplyPatch(target.c_str(), patch.c_str(), NULL, 0, NULL, 0));
    EXPECT_EQ(0x100000000, SizeOf(target));
    EXPECT_EQ(ToBytes("z"), BytesAt(target, 0xFFFFFFFF, 2));
}
