// Recognising a patch by its magic, and reading one through without applying it.
#include "engine/engine.h"
#include "engine/ips32.h"
#include "bytes.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(IsIps32FileTest, OnlyFilesThatStartWithTheMagicArePatches)
{
    TempDir dir;
    const std::string path = dir / "file.ips";
    std::vector<std::pair<std::string, BOOL>> cases = {
        {"IPS32", 1}, {"IPS32EEOF", 1}, {"", 0}, {"IPS3", 0}, {"ips32EEOF", 0}};
    for (size_t at = 0; at < 5; ++at)  // one byte of the magic off by one bit
        cases.push_back({std::string("IPS32EEOF").replace(at, 1, 1, (char)("IPS32"[at] ^ 1)), 0});
    for (const auto &[content, expected] : cases) {
        WriteFileBytes(path, ToBytes(content));
        EXPECT_EQ(expected, IsIps32File(path.c_str())) << content;
    }
    EXPECT_EQ(0, IsIps32File(NULL));
    EXPECT_EQ(0, IsIps32File((dir / "missing.ips").c_str()));
    EXPECT_EQ(0, IsIps32File(dir.path().c_str()));
}

class InspectPatchTest : public TempDirTest {};

// Everything a patch summary says, as one value to compare.
static std::string Describe(const PatchSummary &summary, const std::vector<PatchRecordInfo> &records)
{
    static const char *const kConditions[] = {"well formed", "cannot open", "cannot read",
                                              "not IPS32",   "cut record",  "no terminator"};
    std::string text = kConditions[summary.condition];
    if (summary.condition != kPatchWellFormed)
        text += " at " + std::to_string(summary.brokenAt);
    text += ", data " + std::to_string(summary.dataRecords) + "/" + std::to_string(summary.dataBytes) + ", runs " +
            std::to_string(summary.runRecords) + "/" + std::to_string(summary.runBytes) + ", trailing " +
            std::to_string(summary.trailing);
    if (WritesAny(summary))
        text += ", writes " + std::to_string(summary.lowest) + "-" + std::to_string(summary.highest);
    for (const PatchRecordInfo &record : records)
        text += "; " + std::to_string(record.at) + ": " + std::to_string(record.offset) + (record.run ? " run " : " data ") +
                std::to_string(record.length) + (record.run ? " of " + std::to_string(record.value) : "");
    return text;
}

static std::string Inspect(const std::string &path)
{
    std::vector<PatchRecordInfo> records;
    PatchSummary summary;
    const BOOL wellFormed = InspectPatch(path.c_str(), &summary,
                                         [](const PatchRecordInfo &record, void *context) {
                                             ((std::vector<PatchRecordInfo> *)context)->push_back(record);
                                         },
                                         &records);
    EXPECT_EQ(summary.condition == kPatchWellFormed, wellFormed != 0);
    return Describe(summary, records);
}

TEST_F(InspectPatchTest, EachPatchGivesItsSummary)
{
    const std::string path = dir / "patch.ips";
    const struct { const char *name; Bytes patch; std::string summary; } cases[] = {
        {"worked example", BuildPatch({RunRecord(0x10, 0x300, 0xAA), DataRecord(0x400, ToBytes("ABC"))}),
         "well formed, data 1/3, runs 1/768, trailing 0, writes 16-1026; 5: 16 run 768 of 170; 14: 1024 data 3"},
        {"nine-byte patch", BuildPatch({}), "well formed, data 0/0, runs 0/0, trailing 0"},
        {"zero-length run, bytes after the terminator", Concat({BuildPatch({RunRecord(7, 0, 1)}), ToBytes("junk")}),
         "well formed, data 0/0, runs 1/0, trailing 4; 5: 7 run 0 of 1"},
        {"record past 4 GiB", BuildPatch({DataRecord(0xFFFFFFFF, ToBytes("xy"))}),
         "well formed, data 1/2, runs 0/0, trailing 0, writes 4294967295-4294967296; 5: 4294967295 data 2"},
        {"not IPS32", ToBytes("ips32EEOF"), "not IPS32 at 0, data 0/0, runs 0/0, trailing 0"},
        {"magic alone", ToBytes("IPS32"), "no terminator at 5, data 0/0, runs 0/0, trailing 0"},
        {"cut in the terminator", ToBytes("IPS32EEO"), "cut record at 5, data 0/0, runs 0/0, trailing 0"},
        {"cut in the second record", Prefix(BuildPatch({DataRecord(3, ToBytes("ab")), DataRecord(9, ToBytes("cd"))}), 20),
         "cut record at 13, data 1/2, runs 0/0, trailing 0, writes 3-4; 5: 3 data 2"},
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(row.name);
        WriteFileBytes(path, row.patch);
        EXPECT_EQ(row.summary, Inspect(path));
    }
    const std::string cannotOpen = "cannot open at 0, data 0/0, runs 0/0, trailing 0";
    EXPECT_EQ(cannotOpen, Inspect(dir / "missing.ips"));
    EXPECT_EQ(cannotOpen, Inspect(dir.path()));
#ifndef _WIN32
    // Opens, but fails every read where nothing is mapped.
    EXPECT_EQ("cannot read at 0, data 0/0, runs 0/0, trailing 0", Inspect("/proc/self/mem"));
#endif
}

// A file holds a patch when every record writes its own bytes, within its end.
TEST_F(InspectPatchTest, AppliedOnlyWhenTheFileHoldsEveryRecord)
{
    const std::string patch = dir / "patch.ips", target = dir / "target.bin";
    WriteFileBytes(target, ToBytes("abbd"));
    const struct { Bytes patch; BOOL applied; } cases[] = {
        {BuildPatch({DataRecord(1, ToBytes("bb")), RunRecord(1, 2, 'b'), RunRecord(90, 0, 'x')}), 1},
        {BuildPatch({}), 1},
        {BuildPatch({DataRecord(0, ToBytes("abbd")), DataRecord(2, ToBytes("bx"))}), 0},
        {BuildPatch({RunRecord(0, 2, 'a')}), 0},
        {BuildPatch({DataRecord(3, ToBytes("d")), DataRecord(4, ToBytes("e"))}), 0},  // it would grow
        {Prefix(BuildPatch({DataRecord(1, ToBytes("b"))}), 12), 0},                    // broken
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(::testing::PrintToString(row.patch));
        WriteFileBytes(patch, row.patch);
        EXPECT_EQ(row.applied, IsPatchApplied(patch.c_str(), target.c_str()));
    }
    WriteFileBytes(patch, BuildPatch({}));
    EXPECT_EQ(0, IsPatchApplied(patch.c_str(), (dir / "missing.bin").c_str()));
}
