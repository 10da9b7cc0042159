// The create job end to end: its notifications, its exit code and the files on
// disk for every way it can end.
#include "jobs/create_job.h"

#include "job_fixture.h"
#include "platform/path_rules.h"

#include <gtest/gtest.h>

#include <filesystem>

static const char kAskCreate[] =
    "変更前のﾌｧｲﾙ\n%s\nを変更後のﾌｧｲﾙ\n%s\nにﾊﾟｯﾁを行うIPSﾌｧｲﾙ\n%s\nを作成します。\nよろしいですか?";
static const char kPatchNamedLikeInput[] =
    "IPSﾌｧｲﾙが変更前または変更後のﾌｧｲﾙと同名になってしまうためIPSを作成できません。";
static const char kPatchNameTooLong[] = "IPSﾌｧｲﾙのﾌｧｲﾙ名が長すぎるためIPSを作成できません。";
static const char kCreated[] = "IPS32ﾌｧｲﾙ %s を作成しました。";
static const char kModifiedSmaller[] =
    "変更後のﾌｧｲﾙのｻｲｽﾞが、変更前のｻｲｽﾞよりも小さいためIPSを作成できません。";
static const char kCannotOpen[] = "%sを開けません。";
static const char kCannotCreate[] = "新規ﾌｧｲﾙを作成できません。";

// game.bin ("abcd") and game_new.bin ("aXYd") give game_new.ips.
class CreateJobTest : public JobTest {
protected:
    void SetUp() override
    {
        original = File("game.bin", "abcd");
        modified = File("game_new.bin", "aXYd");
        patch = dir / "game_new.ips";
    }
    std::vector<std::string> Confirmed(int answer, std::vector<std::string> more)
    {
        std::vector<std::string> lines = {"started", "ask " + std::to_string(answer) + ": " +
                                                         Text(kAskCreate, original, modified, patch)};
        lines.insert(lines.end(), more.begin(), more.end());
        return lines;
    }
    void ExpectInputsUntouched()
    {
        EXPECT_EQ(ToBytes("abcd"), ReadFileBytes(original));
        EXPECT_EQ(ToBytes("aXYd"), ReadFileBytes(modified));
    }
    static std::vector<std::string> FailedBefore(const std::string &text)
    {
        return {"started", "finished 0: " + text};
    }

    std::string original, modified, patch;
};

typedef CreateJobTest CreateJobEnds;

TEST_F(CreateJobEnds, OriginalMissing)
{
    RecordingWindow window;
    std::string missing = dir / "none.bin";
    EXPECT_EQ(0u, Run(CreateJob, missing, modified, window));
    EXPECT_EQ(FailedBefore(Text(kFileMissing, missing)), Seen(window));
    EXPECT_EQ((std::vector<std::string>{"game.bin", "game_new.bin"}), Listing());
}

TEST_F(CreateJobEnds, ModifiedMissing)
{
    RecordingWindow window;
    std::string missing = dir / "none.bin";
    EXPECT_EQ(0u, Run(CreateJob, original, missing, window));
    EXPECT_EQ(FailedBefore(Text(kFileMissing, missing)), Seen(window));
    EXPECT_EQ((std::vector<std::string>{"game.bin", "game_new.bin"}), Listing());
}

TEST_F(CreateJobEnds, SameNameTwice)
{
    RecordingWindow window;
    EXPECT_EQ(0u, Run(CreateJob, modified, modified, window));
    EXPECT_EQ(FailedBefore(kSameNames), Seen(window));
    EXPECT_EQ((std::vector<std::string>{"game.bin", "game_new.bin"}), Listing());
}

TEST_F(CreateJobEnds, NoToTheConfirmationTouchesNothing)
{
    RecordingWindow window({0});
    EXPECT_EQ(0u, Run(CreateJob, original, modified, window));
    EXPECT_EQ(Confirmed(0, {"finished 0"}), Seen(window));
    EXPECT_EQ((std::vector<std::string>{"game.bin", "game_new.bin"}), Listing());
}

TEST_F(CreateJobEnds, NoToOverwriteKeepsTheExistingPatch)
{
    RecordingWindow window({1, 0});
    File("game_new.ips", "old");
    EXPECT_EQ(0u, Run(CreateJob, original, modified, window));
    EXPECT_EQ(Confirmed(1, {"ask 0: " + Text(kAskOverwrite, patch), "finished 0"}), Seen(window));
    EXPECT_EQ(ToBytes("old"), ReadFileBytes(patch));
}

TEST_F(CreateJobEnds, EngineFailureBeforeThePatchFileKeepsTheOlderFile)
{
    RecordingWindow window;
    File("game_new.ips", "old");
    modified = File("game_new.bin", "abc");
    EXPECT_EQ(1u, Run(CreateJob, original, modified, window));
    EXPECT_EQ(Confirmed(1, {"ask 1: " + Text(kAskOverwrite, patch), "progress",
                            std::string("finished 0: ") + kModifiedSmaller}),
              Seen(window));
    EXPECT_EQ(ToBytes("old"), ReadFileBytes(patch));
}

TEST_F(CreateJobEnds, EngineFailureLeavesNoPatchFile)
{
    RecordingWindow window;
    modified = dir / "game_new.d";
    ASSERT_TRUE(std::filesystem::create_directory(modified));
    patch = dir / "game_new.ips";
    EXPECT_EQ(1u, Run(CreateJob, original, modified, window));
    EXPECT_EQ(Confirmed(1, {"progress", "finished 0: " + Text(kCannotOpen, modified)}), Seen(window));
    EXPECT_FALSE(PathExists(patch));
}

TEST_F(CreateJobEnds, ReadOnlyExistingPatchStaysAsItWas)
{
    RecordingWindow window;
    ReadOnlyFile("game_new.ips", "old");
    EXPECT_EQ(1u, Run(CreateJob, original, modified, window));
    EXPECT_EQ(Confirmed(1, {"ask 1: " + Text(kAskOverwrite, patch), "progress",
                            std::string("finished 0: ") + kCannotCreate}),
              Seen(window));
    EXPECT_EQ(ToBytes("old"), ReadFileBytes(patch));
    EXPECT_NE(0u, GetFileAttributesA(patch.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(CreateJobEnds, SuccessWritesThePatchBesideTheModifiedFile)
{
    RecordingWindow window;
    EXPECT_EQ(1u, Run(CreateJob, original, modified, window));
    EXPECT_EQ(Confirmed(1, {"progress 0: ﾌｧｲﾙ情報を取得中...", "progress 75: 作成中...", "progress 100: 完了",
                            "finished 1: " + Text(kCreated, patch)}),
              Seen(window, false));
    EXPECT_EQ(BuildPatch({DataRecord(1, ToBytes("XY"))}), ReadFileBytes(patch));
    ExpectInputsUntouched();
}

TEST_F(CreateJobEnds, NamesThatDifferOnlyInCaseAreTwoNames)
{
    RecordingWindow window;
    modified = File("GAME.bin", "abcd");
    patch = dir / "GAME.ips";
    EXPECT_EQ(1u, Run(CreateJob, original, modified, window));
    EXPECT_EQ("finished 1: " + Text(kCreated, patch), Seen(window).back());
    EXPECT_EQ(BuildPatch({}), ReadFileBytes(patch));
}

typedef CreateJobTest CreateJobRefusals;

TEST_F(CreateJobRefusals, PatchThatWouldReplaceTheModifiedFile)
{
    RecordingWindow window;
    modified = File("game_new.ips", "aXYd");
    EXPECT_EQ(0u, Run(CreateJob, original, modified, window));
    EXPECT_EQ(FailedBefore(kPatchNamedLikeInput), Seen(window));
    ExpectInputsUntouched();
}

TEST_F(CreateJobRefusals, PatchThatWouldReplaceTheOriginal)
{
    RecordingWindow window;
    original = File("game_new.ips", "abcd");
    EXPECT_EQ(0u, Run(CreateJob, original, modified, window));
    EXPECT_EQ(FailedBefore(kPatchNamedLikeInput), Seen(window));
    ExpectInputsUntouched();
}

TEST_F(CreateJobRefusals, PatchNamedLikeAnInputButForCaseWhereNamesIgnoreCase)
{
    RecordingWindow window;
    modified = File("new.IPS", "aXYd");
    patch = dir / "new.ips";
    DWORD exitCode = Run(CreateJob, original, modified, window);
    if (kPathSeparator == '\\') {
        EXPECT_EQ(0u, exitCode);
        EXPECT_EQ(FailedBefore(kPatchNamedLikeInput), Seen(window));
        ExpectInputsUntouched();
    } else {
        EXPECT_EQ(1u, exitCode);
        EXPECT_EQ(BuildPatch({DataRecord(1, ToBytes("XY"))}), ReadFileBytes(patch));
    }
}

TEST_F(CreateJobRefusals, PatchNameLongerThanAPathAsksNothing)
{
    RecordingWindow window;
    modified = PathOfLength(PATH_BUFFER_SIZE - 2, ".b");
    WriteFileBytes(modified, ToBytes("aXYd"));
    EXPECT_EQ(0u, Run(CreateJob, original, modified, window));
    EXPECT_EQ(FailedBefore(kPatchNameTooLong), Seen(window));
    EXPECT_EQ(3u, Listing().size());
}

TEST_F(CreateJobRefusals, QuestionToAWindowThatIsGoneCountsAsNo)
{
    RecordingWindow window;
    window.Close();
    EXPECT_EQ(0u, Run(CreateJob, original, modified, window));
    EXPECT_TRUE(window.notifications().empty());
    EXPECT_EQ((std::vector<std::string>{"game.bin", "game_new.bin"}), Listing());
}

TEST_F(CreateJobTest, ConfirmationHoldsThreePathsOfTheLongestLength)
{
    RecordingWindow window({0});
    original = PathOfLength(PATH_BUFFER_SIZE - 1, "o.bin");
    modified = PathOfLength(PATH_BUFFER_SIZE - 1, "m.bin");
    patch = modified.substr(0, modified.size() - 3) + "ips";
    WriteFileBytes(original, ToBytes("abcd"));
    WriteFileBytes(modified, ToBytes("aXYd"));
    EXPECT_EQ(0u, Run(CreateJob, original, modified, window));
    EXPECT_EQ(Confirmed(0, {"finished 0"}), Seen(window));
}

TEST_F(CreateJobEnds, EngineFailureAfterCreatingThePatchDeletesIt)
{
    // A full disk, natively: the patch path is a link to /dev/full.
    if (kPathSeparator != '/' || !PathExists("/dev/full"))
        GTEST_SKIP() << "needs /dev/full";
    RecordingWindow window;
    std::filesystem::create_symlink("/dev/full", patch);
    EXPECT_EQ(1u, Run(CreateJob, original, modified, window));
    EXPECT_EQ(Confirmed(1, {"ask 1: " + Text(kAskOverwrite, patch), "progress",
                            "finished 0: 作成中にｴﾗｰが発生しました。"}),
              Seen(window));
    EXPECT_EQ((std::vector<std::string>{"game.bin", "game_new.bin"}), Listing());
}
