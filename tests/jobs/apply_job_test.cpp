// The apply job end to end, for every way it can end (see JobTest::Check).
#include "jobs/apply_job.h"

#include "job_fixture.h"

static const char kNamedLikeTarget[] =
    "finished 0: ﾊﾟｯﾁするﾌｧｲﾙとそのｺﾋﾟｰのﾌｧｲﾙが同名になってしまうためﾊﾟｯﾁを行えません。";
static const char kNamedLikePatch[] =
    "finished 0: ﾊﾟｯﾁするﾌｧｲﾙのｺﾋﾟｰがIPSﾌｧｲﾙと同名になってしまうためﾊﾟｯﾁを行えません。";
static const char kCopyFailed[] = "finished 0: ﾌｧｲﾙをｺﾋﾟｰできません。";
static const char kPatched[] = "finished 1: <fix.bin>は正常にﾊﾟｯﾁされました。";

// fix.ips on game.bin gives the copy fix.bin.
static const Files kInputs = {{"fix.ips", kPatch}, {"game.bin", "abcd"}};

static const JobEnd kEnds[] = {
    {"FileToPatchMissing", {}, "fix.ips", "none.bin", "", {}, {"finished 0: <none.bin> は、存在しません。"}},
    {"PatchFileNotIps32", {{"fix.txt", "IPS3"}}, "fix.txt", "game.bin", "", {},
     {"finished 0: <fix.txt> は、IPSﾌｧｲﾙではありません。"}},
    {"SameNameTwice", {}, "fix.ips", "fix.ips", "", {}, {"finished 0: 2つのﾌｧｲﾙ名が同一になっています。"}},
    {"NoToTheConfirmation", {}, "fix.ips", "game.bin", "fix.bin", {0}, {"confirm 0", "finished 0"}},
    {"OutputNamedLikeTheTarget", {{"game.ips", kPatch}}, "game.ips", "game.bin", "game.bin", {},
     {"confirm 1", kNamedLikeTarget}},
    // The copy's name is the target's but for case: one file where names ignore case, two elsewhere.
    kPathSeparator == '\\'
        ? JobEnd{"OutputNamedLikeTheTargetButForCase", {{"P.ips", kPatch}, {"p.bin", "abcd"}}, "P.ips", "p.bin",
                 "P.bin", {}, {"confirm 1", kNamedLikeTarget}}
        : JobEnd{"OutputNamedLikeTheTargetButForCase", {{"P.ips", kPatch}, {"p.bin", "abcd"}}, "P.ips", "p.bin",
                 "P.bin", {}, {"confirm 1", "progress", "finished 1: <P.bin>は正常にﾊﾟｯﾁされました。"}, 1, {{"P.bin", "aXYd"}}},
    // ア and ヂ differ in a trail byte that the copy's check against the target folds, where names ignore case.
    kPathSeparator == '\\'
        ? JobEnd{"OutputNamedLikeTheTargetButForATrailByte", {{"ヂ.ips", kPatch}, {"ア.bin", "abcd"}}, "ヂ.ips",
                 "ア.bin", "ヂ.bin", {}, {"confirm 1", kNamedLikeTarget}}
        : JobEnd{"OutputNamedLikeTheTargetButForATrailByte", {{"ヂ.ips", kPatch}, {"ア.bin", "abcd"}}, "ヂ.ips",
                 "ア.bin", "ヂ.bin", {}, {"confirm 1", "progress", "finished 1: <ヂ.bin>は正常にﾊﾟｯﾁされました。"}, 1,
                 {{"ヂ.bin", "aXYd"}}},
    // Against a patch they are two names everywhere, as the system takes them.
    {"OutputNamedLikeThePatchButForATrailByte", {{"fix.ア", kPatch}, {"game.ヂ", "abcd"}}, "fix.ア", "game.ヂ",
     "fix.ヂ", {}, {"confirm 1", "progress", "finished 1: <fix.ヂ>は正常にﾊﾟｯﾁされました。"}, 1, {{"fix.ヂ", "aXYd"}}},
    {"OutputIsThePatchByAHardLinkNamedButForATrailByte",
     {{"fix.ア", kPatch}, {"game.ヂ", "abcd"}, {"fix.ヂ", "ln:fix.ア"}}, "fix.ア", "game.ヂ", "fix.ヂ", {},
     {kNamedLikePatch}},
    // The copy reaches an input by another name: refused before anything is asked or changed.
    {"ReadOnlyTargetSpelledOtherwiseKeepsItsMark", {{"fix.bin", "ro:abcd"}}, "fix.ips", "./fix.bin", "fix.bin", {},
     {kNamedLikeTarget}},
    {"OutputWouldReplaceThePatch", {{"data.ips", "abcd"}}, "fix.ips", "data.ips", "fix.ips", {},
     {"confirm 1", kNamedLikePatch}},
    {"NoToTheOverwrite", {{"fix.bin", "old"}}, "fix.ips", "game.bin", "fix.bin", {1, 0},
     {"confirm 1", "overwrite 0", "finished 0"}},
    {"DirectoryToPatchCannotBeCopiedAndTheOlderCopyStays", {{"data.d", kDirectory}, {"fix.d", "old"}}, "fix.ips",
     "data.d", "fix.d", {}, {"confirm 1", "overwrite 1", kCopyFailed}},
    {"EngineFailureDeletesTheCopy", {{"fix.ips", kPatch.substr(0, kPatch.size() - 4)}}, "fix.ips", "game.bin",
     "fix.bin", {}, {"confirm 1", "progress", "finished 0: FEOFが見つかりません。"}, 1},
    {"SuccessPatchesAWritableCopyOfAReadOnlyTarget", {{"game.bin", "ro:abcd"}}, "fix.ips", "game.bin", "fix.bin", {},
     {"confirm 1", "progress", kPatched}, 1, {{"fix.bin", "aXYd"}}},
    {"ReadOnlyOutputIsReplacedAfterYes", {{"fix.bin", "ro:old"}}, "fix.ips", "game.bin", "fix.bin", {},
     {"confirm 1", "overwrite 1", "progress", kPatched}, 1, {{"fix.bin", "aXYd"}}},
    {"LongestOutputIsWritten", {{"259:.abc", kPatch}}, "259:.abc", "game.bin", "259:.bin", {},
     {"confirm 1", "progress", "finished 1: <259:.bin>は正常にﾊﾟｯﾁされました。"}, 1, {{"259:.bin", "aXYd"}}},
    {"LongerOutputIsRefusedBeforeAsking", {{"258:.i", kPatch}}, "258:.i", "game.bin", "", {},
     {"finished 0: ﾊﾟｯﾁするﾌｧｲﾙのｺﾋﾟｰのﾌｧｲﾙ名が長すぎるためﾊﾟｯﾁを行えません。"}},
    {"QuestionToAGoneWindowCountsAsNo", {}, "fix.ips", "game.bin", "fix.bin", {}, {}, 0, {}, true},
};

class ApplyJobEnds : public JobTest {};

TEST_P(ApplyJobEnds, NotificationsExitCodeAndFiles)
{
    const JobEnd &end = GetParam();
    Check(ApplyJob, kInputs,
          "ﾊﾟｯﾁするﾌｧｲﾙ\n<" + end.second + ">\nのｺﾋﾟｰ\n<" + end.output + ">\nを作成し、このﾌｧｲﾙをIPSﾌｧｲﾙ\n<" + end.first +
              ">\nでﾊﾟｯﾁします。\nよろしいですか?");
}

INSTANTIATE_TEST_SUITE_P(Table, ApplyJobEnds, ::testing::ValuesIn(kEnds), RowName);
