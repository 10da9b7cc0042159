// The create job end to end, for every way it can end (see JobTest::Check).
#include "jobs/create_job.h"

#include "job_fixture.h"

static const char kNamedLikeInput[] =
    "finished 0: IPSﾌｧｲﾙが変更前または変更後のﾌｧｲﾙと同名になってしまうためIPSを作成できません。";

// game.bin and game_new.bin give game_new.ips.
static const Files kInputs = {{"game.bin", "abcd"}, {"game_new.bin", "aXYd"}};
// The default patch from abcd to XbYd: two records, where the smallest would be one.
static const Bytes kTwoRecords = BuildPatch({DataRecord(0, ToBytes("X")), DataRecord(2, ToBytes("Y"))});

static const JobEnd kEnds[] = {
    {"OriginalMissing", {}, "none.bin", "game_new.bin", "", {}, {"finished 0: <none.bin> は、存在しません。"}},
    {"ModifiedMissing", {}, "game.bin", "none.bin", "", {}, {"finished 0: <none.bin> は、存在しません。"}},
    {"SameNameTwice", {}, "game_new.bin", "game_new.bin", "", {}, {"finished 0: 2つのﾌｧｲﾙ名が同一になっています。"}},
    {"PatchWouldReplaceTheModifiedFile", {{"game_new.ips", "aXYd"}}, "game.bin", "game_new.ips", "", {},
     {kNamedLikeInput}},
    {"PatchWouldReplaceTheOriginal", {{"game_new.ips", "abcd"}}, "game_new.ips", "game_new.bin", "", {},
     {kNamedLikeInput}},
    {"PatchIsTheOriginalByAHardLink", {{"game_new.ips", "ln:game.bin"}}, "game.bin", "game_new.bin", "", {},
     {kNamedLikeInput}},
    // Names that differ in case only are one file where names ignore case, and are refused there.
    kPathSeparator == '\\'
        ? JobEnd{"PatchNamedLikeAnInputButForCase", {{"new.IPS", "aXYd"}}, "game.bin", "new.IPS", "", {},
                 {kNamedLikeInput}}
        : JobEnd{"PatchNamedLikeAnInputButForCase", {{"new.IPS", "aXYd"}}, "game.bin", "new.IPS", "new.ips", {},
                 {"confirm 1", "progress", "finished 1: IPS32ﾌｧｲﾙ <new.ips> を作成しました。"}, 1, {{"new.ips", kPatch}}},
    // ア and ヂ differ in a trail byte only; the system takes them for two names.
    {"PatchNamedLikeAnInputButForATrailByte", {{"ア.bin", "aXYd"}, {"ヂ.ips", "abcd"}}, "ヂ.ips", "ア.bin", "ア.ips",
     {}, {"confirm 1", "progress", "finished 1: IPS32ﾌｧｲﾙ <ア.ips> を作成しました。"}, 1, {{"ア.ips", kPatch}}},
    {"EngineFailureBeforeThePatchFileKeepsTheOlderFile", {{"game_new.ips", "old"}, {"game_new.bin", "abc"}},
     "game.bin", "game_new.bin", "game_new.ips", {},
     {"confirm 1", "overwrite 1", "progress",
      "finished 0: 変更後のﾌｧｲﾙのｻｲｽﾞが、変更前のｻｲｽﾞよりも小さいためIPSを作成できません。"},
     1, {}},
    {"EngineFailureLeavesNoPatchFile", {{"game_new.d", kDirectory}}, "game.bin", "game_new.d", "game_new.ips", {},
     {"confirm 1", "progress", "finished 0: <game_new.d>を開けません。"}, 1},
    {"ReadOnlyExistingPatchStaysAsItWas", {{"game_new.ips", "ro:old"}}, "game.bin", "game_new.bin", "game_new.ips",
     {}, {"confirm 1", "overwrite 1", "progress", "finished 0: 新規ﾌｧｲﾙを作成できません。"}, 1},
    {"SuccessWritesTheDefaultPatchBesideTheModifiedFile", {{"game_new.bin", "XbYd"}}, "game.bin", "game_new.bin",
     "game_new.ips", {}, {"confirm 1", "progress", "finished 1: IPS32ﾌｧｲﾙ <game_new.ips> を作成しました。"}, 1,
     {{"game_new.ips", std::string(kTwoRecords.begin(), kTwoRecords.end())}}},
    {"NamesThatDifferOnlyInCaseAreTwoNames", {{"GAME.bin", "abcd"}}, "game.bin", "GAME.bin", "GAME.ips", {},
     {"confirm 1", "progress", "finished 1: IPS32ﾌｧｲﾙ <GAME.ips> を作成しました。"}, 1, {{"GAME.ips", "IPS32EEOF"}}},
    {"ThreeLongestPathsAreAskedWhole", {{"259:o.bin", "abcd"}, {"259:m.bin", "aXYd"}}, "259:o.bin", "259:m.bin",
     "259:m.ips", {0}, {"confirm 0", "finished 0"}},
    {"LongerPatchNameIsRefusedBeforeAsking", {{"258:.b", "aXYd"}}, "game.bin", "258:.b", "", {},
     {"finished 0: IPSﾌｧｲﾙのﾌｧｲﾙ名が長すぎるためIPSを作成できません。"}},
};

class CreateJobEnds : public JobTest {};

TEST_P(CreateJobEnds, NotificationsExitCodeAndFiles)
{
    const JobEnd &end = GetParam();
    Check(CreateJob, kInputs,
          "変更前のﾌｧｲﾙ\n<" + end.first + ">\nを変更後のﾌｧｲﾙ\n<" + end.second + ">\nにﾊﾟｯﾁを行うIPSﾌｧｲﾙ\n<" + end.output +
              ">\nを作成します。\nよろしいですか?");
}

INSTANTIATE_TEST_SUITE_P(Table, CreateJobEnds, ::testing::ValuesIn(kEnds), RowName);
