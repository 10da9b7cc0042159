// Creating patches: the exact records written, the records near the offset
// that reads as the terminator, round trips through ApplyPatch, and failures.
#include "engine/create.h"
#include "engine/ips32.h"
#include "platform/path_rules.h"
#include "engine_helpers.h"

#include <gtest/gtest.h>

#include <random>

static const char kCreated[] = "IPS32ﾌｧｲﾙ %s を作成しました。";
static const char kCreateError[] = "作成中にｴﾗｰが発生しました。";

class CreatePatchRecords : public TempDirTest {
protected:
    // The records of the patch created from original and modified.
    Bytes RecordsFor(const Bytes &original, const Bytes &modified)
    {
        EngineOutcome outcome = CreateBytes(dir, original, modified);
        EXPECT_EQ(1, outcome.result) << outcome.text;
        EXPECT_EQ(Expected(kCreated, dir / "modified.ips"), outcome.text);
        const Bytes &patch = outcome.output;
        if (patch.size() < 9 || Prefix(patch, 5) != PatchHeader() ||
            Bytes(patch.end() - 4, patch.end()) != PatchTerminator()) {
            ADD_FAILURE() << "not a complete patch";
            return patch;
        }
        return Bytes(patch.begin() + 5, patch.end() - 4);
    }
};

TEST_F(CreatePatchRecords, EqualOrEmptyFilesGiveNoRecords)
{
    EXPECT_EQ(Bytes(), RecordsFor(ToBytes("same"), ToBytes("same")));
    EXPECT_EQ(Bytes(), RecordsFor(Bytes(), Bytes()));
}

TEST_F(CreatePatchRecords, TailOfAnEmptyOriginal)
{
    EXPECT_EQ(DataRecord(0, ToBytes("ABC")), RecordsFor(Bytes(), ToBytes("ABC")));
    EXPECT_EQ(RunRecord(0, 10, 0), RecordsFor(Bytes(), Bytes(10, 0)));
}

TEST_F(CreatePatchRecords, RunsOfDifferingBytes)
{
    EXPECT_EQ(DataRecord(1, ToBytes("BB")), RecordsFor(ToBytes("AAAA"), ToBytes("ABBA")));
    EXPECT_EQ(Concat({DataRecord(0, ToBytes("X")), DataRecord(2, ToBytes("X"))}),
              RecordsFor(ToBytes("ABC"), ToBytes("XBX")));
}

TEST_F(CreatePatchRecords, FourEqualBytesMakeARunRecordThreeDoNot)
{
    EXPECT_EQ(DataRecord(1, ToBytes("zzz")), RecordsFor(ToBytes("abcde"), ToBytes("azzze")));
    EXPECT_EQ(RunRecord(1, 4, 'z'), RecordsFor(ToBytes("abcdef"), ToBytes("azzzzf")));
    EXPECT_EQ(DataRecord(1, ToBytes("zzzy")), RecordsFor(ToBytes("abcdef"), ToBytes("azzzyf")));
}

TEST_F(CreatePatchRecords, ChangeAtTheEndAndTheTailAreSeparateRecords)
{
    EXPECT_EQ(Concat({DataRecord(2, ToBytes("X")), DataRecord(3, ToBytes("YZ"))}),
              RecordsFor(ToBytes("abc"), ToBytes("abXYZ")));
    EXPECT_EQ(Concat({RunRecord(0, 4, 'q'), RunRecord(4, 4, 'q')}), RecordsFor(ToBytes("abcd"), Bytes(8, 'q')));
}

TEST_F(CreatePatchRecords, LongRunsAreSplitInto65535BytePieces)
{
    EXPECT_EQ(Concat({RunRecord(0, 65535, 'A'), RunRecord(65535, 1, 'A')}),
              RecordsFor(Bytes(65536, 0), Bytes(65536, 'A')));

    Bytes modified = RandomBytes(131071, 3);
    for (unsigned char &byte : modified)
        byte |= 1;  // differs from every zero byte of the original
    Bytes expected = Concat({DataRecord(0, Prefix(modified, 65535)),
                             DataRecord(65535, Bytes(modified.begin() + 65535, modified.begin() + 131070)),
                             DataRecord(131070, Bytes(modified.end() - 1, modified.end()))});
    EXPECT_TRUE(expected == RecordsFor(Bytes(131071, 0), modified));
}

TEST_F(CreatePatchRecords, DifferencesFoundAtEveryAlignment)
{
    const Bytes original = RandomBytes(200, 11);
    for (size_t at = 0; at < 70; ++at) {
        SCOPED_TRACE(at);
        Bytes modified = original;
        modified[at] ^= 0x40;
        modified[at + 41] ^= 0x01;
        EXPECT_EQ(Concat({DataRecord((uint32_t)at, {modified[at]}), DataRecord((uint32_t)at + 41, {modified[at + 41]})}),
                  RecordsFor(original, modified));
    }
}

TEST_F(CreatePatchRecords, OneEqualByteEndsARunAtEveryAlignment)
{
    const Bytes original = RandomBytes(100, 12);
    for (size_t equal = 6; equal < 59; ++equal) {
        SCOPED_TRACE(equal);
        Bytes modified = original;
        for (size_t i = 5; i < 60; ++i)
            modified[i] ^= i == equal ? 0 : 0x80;
        EXPECT_EQ(Concat({DataRecord(5, Bytes(modified.begin() + 5, modified.begin() + (long)equal)),
                          DataRecord((uint32_t)equal + 1, Bytes(modified.begin() + (long)equal + 1, modified.begin() + 60))}),
                  RecordsFor(original, modified));
    }
}

// Runs and pieces that would begin at the offset whose bytes read as "EEOF".
class WritePatchRecordAtTerminatorOffset : public TempDirTest {
protected:
    Bytes Written(DWORD offset, const Bytes &bytes, size_t skip = 0)
    {
        std::string path = dir / "records.bin";
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        EXPECT_NE(INVALID_HANDLE_VALUE, file);
        PatchOutput output;
        EXPECT_EQ(1, StartPatchOutput(&output, file));
        EXPECT_EQ(1, WritePatchRecord(offset, (DWORD)(bytes.size() - skip), bytes.data() + skip, &output));
        EXPECT_EQ(1, FlushPatchOutput(&output));
        EndPatchOutput(&output);
        CloseHandle(file);
        return ReadFileBytes(path);
    }
    static const DWORD kAt = IPS32_TERMINATOR_OFFSET;
};

TEST_F(WritePatchRecordAtTerminatorOffset, DataRunStartingThereBeginsAByteEarlier)
{
    EXPECT_EQ(Concat({DataRecord(kAt - 1, ToBytes("pa")), DataRecord(kAt + 1, ToBytes("bc"))}),
              Written(kAt, ToBytes("pabc"), 1));
    EXPECT_EQ(DataRecord(kAt - 1, ToBytes("pa")), Written(kAt, ToBytes("pa"), 1));
}

TEST_F(WritePatchRecordAtTerminatorOffset, EqualRunStartingThereKeepsItsRunForm)
{
    Bytes bytes = Concat({ToBytes("p"), Bytes(10, 'x')});
    EXPECT_EQ(Concat({DataRecord(kAt - 1, ToBytes("px")), RunRecord(kAt + 1, 9, 'x')}), Written(kAt, bytes, 1));
}

TEST_F(WritePatchRecordAtTerminatorOffset, PieceBoundaryThereMovesAByteEarlier)
{
    EXPECT_EQ(Concat({RunRecord(kAt - 65535, 65534, 'v'), RunRecord(kAt - 1, 2, 'v')}),
              Written(kAt - 65535, Bytes(65536, 'v')));

    Bytes bytes = RandomBytes(70000, 5);
    Bytes expected = Concat({DataRecord(kAt - 65535, Prefix(bytes, 65534)),
                             DataRecord(kAt - 1, Bytes(bytes.begin() + 65534, bytes.end()))});
    EXPECT_TRUE(expected == Written(kAt - 65535, bytes));
}

TEST_F(WritePatchRecordAtTerminatorOffset, RunsEndingOrBeginningNextToItAreUnchanged)
{
    EXPECT_EQ(DataRecord(kAt - 3, ToBytes("abc")), Written(kAt - 3, ToBytes("abc")));
    EXPECT_EQ(RunRecord(kAt - 65535, 65535, 'w'), Written(kAt - 65535, Bytes(65535, 'w')));
    EXPECT_EQ(DataRecord(kAt + 1, ToBytes("d")), Written(kAt + 1, ToBytes("d")));
    EXPECT_EQ(DataRecord(kAt - 1, ToBytes("ef")), Written(kAt - 1, ToBytes("ef")));
}

// Create a patch, apply it to a copy of the original: the modified file.
class CreatePatchRoundTrip : public TempDirTest {
protected:
    static Bytes Modify(const Bytes &original, std::mt19937 &random)
    {
        Bytes modified = original;
        int changes = (int)(random() % 40);
        for (int i = 0; i < changes && !modified.empty(); ++i) {
            size_t at = random() % modified.size();
            size_t length = std::min<size_t>(modified.size() - at, random() % 8 == 0 ? random() % 140000 : random() % 9);
            unsigned char value = (unsigned char)random();
            bool equal = random() % 2 != 0;
            for (size_t k = at; k < at + length; ++k)
                modified[k] = equal ? value : (unsigned char)random();
        }
        if (random() % 2) {
            Bytes tail = RandomBytes(random() % 70000, random());
            if (random() % 2)
                std::fill(tail.begin(), tail.end(), (unsigned char)random());
            modified.insert(modified.end(), tail.begin(), tail.end());
        }
        return modified;
    }
};

TEST_F(CreatePatchRoundTrip, ApplyingTheCreatedPatchGivesTheModifiedFile)
{
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        Bytes original = RandomBytes(random() % 300000, seed);
        if (seed % 4 == 0)
            std::fill(original.begin(), original.end(), 0);
        Bytes modified = Modify(original, random);
        EngineOutcome created = CreateBytes(dir, original, modified);
        ASSERT_EQ(1, created.result) << created.text;
        EngineOutcome applied = ApplyBytes(dir, original, created.output);
        ASSERT_EQ(1, applied.result) << applied.text;
        EXPECT_TRUE(modified == applied.output);
    }
}

class CreatePatchFailures : public TempDirTest {
protected:
    void SetUp() override
    {
        original = dir / "original.bin";
        modified = dir / "modified.bin";
        patch = dir / "modified.ips";
        WriteFileBytes(original, ToBytes("abc"));
        WriteFileBytes(modified, ToBytes("abd"));
    }
    BOOL Create()
    {
        text[0] = 0;
        created = -1;
        return CreatePatch(original.c_str(), modified.c_str(), patch.c_str(), text, sizeof text, NULL, 0, &created);
    }
    std::string original, modified, patch;
    char text[ENGINE_TEXT_SIZE];
    BOOL created;
};

TEST_F(CreatePatchFailures, MissingOriginalOrModifiedCannotBeOpened)
{
    std::string missing = dir / "missing.bin";
    original = missing;
    EXPECT_EQ(0, Create());
    EXPECT_EQ(Expected("%sを開けません。", missing), text);
    EXPECT_EQ(0, created);

    original = dir / "modified.bin";
    modified = dir.path();
    EXPECT_EQ(0, Create());
    EXPECT_EQ(Expected("%sを開けません。", dir.path()), text);
    EXPECT_FALSE(PathExists(patch));
}

TEST_F(CreatePatchFailures, SmallerModifiedFileLeavesAnOlderPatchAlone)
{
    WriteFileBytes(modified, ToBytes("ab"));
    WriteFileBytes(patch, ToBytes("older"));
    EXPECT_EQ(0, Create());
    EXPECT_EQ("変更後のﾌｧｲﾙのｻｲｽﾞが、変更前のｻｲｽﾞよりも小さいためIPSを作成できません。", std::string(text));
    EXPECT_EQ(0, created);
    EXPECT_EQ(ToBytes("older"), ReadFileBytes(patch));
}

TEST_F(CreatePatchFailures, PatchFileThatCannotBeCreated)
{
    for (const std::string &where : {dir.path(), dir / "missing" + kPathSeparator + "modified.ips"}) {
        patch = where;
        EXPECT_EQ(0, Create());
        EXPECT_EQ("新規ﾌｧｲﾙを作成できません。", std::string(text));
        EXPECT_EQ(0, created);
    }
    patch = dir / "locked.ips";
    WriteFileBytes(patch, ToBytes("keep"));
    ASSERT_TRUE(SetFileAttributesA(patch.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(0, Create());
    EXPECT_EQ("新規ﾌｧｲﾙを作成できません。", std::string(text));
    EXPECT_EQ(ToBytes("keep"), ReadFileBytes(patch));
}

TEST_F(CreatePatchFailures, FailedWriteIsReportedAfterCreation)
{
    patch = "/dev/full";
    if (!PathExists(patch))
        GTEST_SKIP() << "no " << patch << " here";
    EXPECT_EQ(0, Create());
    EXPECT_EQ(kCreateError, std::string(text));
    EXPECT_EQ(1, created);
}

class LoadWholeFileTest : public TempDirTest {};

TEST_F(LoadWholeFileTest, LoadsContentsAndEmptyFiles)
{
    std::string path = dir / "file.bin";
    const Bytes contents = RandomBytes(100000, 9);
    WriteFileBytes(path, contents);
    FileBuffer buffer;
    ASSERT_EQ(1, LoadWholeFile(path.c_str(), &buffer));
    EXPECT_TRUE(contents == Bytes(buffer.data, buffer.data + buffer.size));
    FreeWholeFile(&buffer);
    EXPECT_EQ(nullptr, buffer.data);
    EXPECT_EQ(0u, buffer.size);
    FreeWholeFile(&buffer);

    WriteFileBytes(path, Bytes());
    ASSERT_EQ(1, LoadWholeFile(path.c_str(), &buffer));
    EXPECT_EQ(0u, buffer.size);
    FreeWholeFile(&buffer);
}

TEST_F(LoadWholeFileTest, MissingFileOrDirectoryFails)
{
    FileBuffer buffer;
    EXPECT_EQ(0, LoadWholeFile((dir / "missing.bin").c_str(), &buffer));
    EXPECT_EQ(0, LoadWholeFile(dir.path().c_str(), &buffer));
}
