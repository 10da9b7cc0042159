// The apply job end to end: its notifications, its exit code and the files on
// disk for every way it can end.
#include "jobs/apply_job.h"

#include "job_fixture.h"
#include "platform/path_rules.h"

#include <gtest/gtest.h>

#include <filesystem>

static const char kNotIpsFile[] = "%s は、IPSﾌｧｲﾙではありません。";
static const char kAskApply[] =
    "ﾊﾟｯﾁするﾌｧｲﾙ\n%s\nのｺﾋﾟｰ\n%s\nを作成し、このﾌｧｲﾙをIPSﾌｧｲﾙ\n%s\nでﾊﾟｯﾁします。\nよろしいですか?";
static const char kCopyNamedLikeTarget[] =
    "ﾊﾟｯﾁするﾌｧｲﾙとそのｺﾋﾟｰのﾌｧｲﾙが同名になってしまうためﾊﾟｯﾁを行えません。";
static const char kCopyNamedLikePatch[] =
    "ﾊﾟｯﾁするﾌｧｲﾙのｺﾋﾟｰがIPSﾌｧｲﾙと同名になってしまうためﾊﾟｯﾁを行えません。";
static const char kCopyNameTooLong[] = "ﾊﾟｯﾁするﾌｧｲﾙのｺﾋﾟｰのﾌｧｲﾙ名が長すぎるためﾊﾟｯﾁを行えません。";
static const char kCopyFailed[] = "ﾌｧｲﾙをｺﾋﾟｰできません。";
static const char kPatched[] = "%sは正常にﾊﾟｯﾁされました。";
static const char kNoTerminator[] = "FEOFが見つかりません。";

// fix.ips writes "XY" at offset 1 of game.bin ("abcd"); the copy is fix.bin.
class ApplyJobTest : public JobTest {
protected:
    void SetUp() override
    {
        patch = File("fix.ips", kPatch);
        target = File("game.bin", "abcd");
        output = dir / "fix.bin";
    }
    // What the window sees up to the confirmation, answered with answer.
    std::vector<std::string> Confirmed(int answer)
    {
        return {"started", "ask " + std::to_string(answer) + ": " + Text(kAskApply, target, output, patch)};
    }
    static std::vector<std::string> Then(std::vector<std::string> lines, const std::vector<std::string> &more)
    {
        lines.insert(lines.end(), more.begin(), more.end());
        return lines;
    }
    void ExpectInputsUntouched()
    {
        EXPECT_EQ(kPatch, ReadFileBytes(patch));
        EXPECT_EQ(ToBytes("abcd"), ReadFileBytes(target));
    }

    const Bytes kPatch = BuildPatch({DataRecord(1, ToBytes("XY"))});
    std::string patch, target, output;
};

typedef ApplyJobTest ApplyJobEnds;

TEST_F(ApplyJobEnds, PatchFileMissing)
{
    RecordingWindow window;
    std::string missing = dir / "none.ips";
    EXPECT_EQ(0u, Run(ApplyJob, missing, target, window));
    EXPECT_EQ((std::vector<std::string>{"started", "finished 0: " + Text(kFileMissing, missing)}), Seen(window));
    EXPECT_EQ((std::vector<std::string>{"fix.ips", "game.bin"}), Listing());
}

TEST_F(ApplyJobEnds, FileToPatchMissing)
{
    RecordingWindow window;
    std::string missing = dir / "none.bin";
    EXPECT_EQ(0u, Run(ApplyJob, patch, missing, window));
    EXPECT_EQ((std::vector<std::string>{"started", "finished 0: " + Text(kFileMissing, missing)}), Seen(window));
    EXPECT_EQ((std::vector<std::string>{"fix.ips", "game.bin"}), Listing());
}

TEST_F(ApplyJobEnds, PatchFileNotIps32)
{
    RecordingWindow window;
    std::string notPatch = File("fix.txt", "IPS3");
    EXPECT_EQ(0u, Run(ApplyJob, notPatch, target, window));
    EXPECT_EQ((std::vector<std::string>{"started", "finished 0: " + Text(kNotIpsFile, notPatch)}), Seen(window));
}

TEST_F(ApplyJobEnds, SameNameTwice)
{
    RecordingWindow window;
    EXPECT_EQ(0u, Run(ApplyJob, patch, patch, window));
    EXPECT_EQ((std::vector<std::string>{"started", std::string("finished 0: ") + kSameNames}), Seen(window));
    ExpectInputsUntouched();
}

TEST_F(ApplyJobEnds, NoToTheConfirmationTouchesNothing)
{
    RecordingWindow window({0});
    EXPECT_EQ(0u, Run(ApplyJob, patch, target, window));
    EXPECT_EQ(Then(Confirmed(0), {"finished 0"}), Seen(window));
    EXPECT_EQ((std::vector<std::string>{"fix.ips", "game.bin"}), Listing());
}

TEST_F(ApplyJobEnds, OutputNamedLikeTheTargetIsRefusedAfterTheConfirmation)
{
    RecordingWindow window;
    patch = File("game.ips", kPatch);
    output = target;
    EXPECT_EQ(0u, Run(ApplyJob, patch, target, window));
    EXPECT_EQ(Then(Confirmed(1), {std::string("finished 0: ") + kCopyNamedLikeTarget}), Seen(window));
    ExpectInputsUntouched();
}

TEST_F(ApplyJobEnds, SameFileInOtherLetterCaseIsRefusedAsNamedLikeTheTarget)
{
    RecordingWindow window;
    // One file where names ignore case, two files elsewhere: either way the
    // copy's name equals the target's but for case.
    target = File("FIX.ips", kPatch);
    output = dir / "fix.ips";
    EXPECT_EQ(0u, Run(ApplyJob, patch, target, window));
    EXPECT_EQ(Then(Confirmed(1), {std::string("finished 0: ") + kCopyNamedLikeTarget}), Seen(window));
    EXPECT_EQ(kPatch, ReadFileBytes(patch));
}

TEST_F(ApplyJobEnds, NoToOverwriteKeepsTheExistingOutput)
{
    RecordingWindow window({1, 0});
    File("fix.bin", "old");
    EXPECT_EQ(0u, Run(ApplyJob, patch, target, window));
    EXPECT_EQ(Then(Confirmed(1), {"ask 0: " + Text(kAskOverwrite, output), "finished 0"}), Seen(window));
    EXPECT_EQ(ToBytes("old"), ReadFileBytes(output));
}

TEST_F(ApplyJobEnds, DirectoryAsTheFileToPatchCannotBeCopied)
{
    RecordingWindow window;
    target = dir / "data.d";
    ASSERT_TRUE(std::filesystem::create_directory(target));
    output = dir / "fix.d";
    EXPECT_EQ(0u, Run(ApplyJob, patch, target, window));
    EXPECT_EQ(Then(Confirmed(1), {std::string("finished 0: ") + kCopyFailed}), Seen(window));
    EXPECT_FALSE(PathExists(output));
}

TEST_F(ApplyJobEnds, DirectoryInTheOutputsPlaceCannotBeReplaced)
{
    RecordingWindow window;
    ASSERT_TRUE(std::filesystem::create_directory(output));
    EXPECT_EQ(0u, Run(ApplyJob, patch, target, window));
    EXPECT_EQ(Then(Confirmed(1), {"ask 1: " + Text(kAskOverwrite, output), std::string("finished 0: ") + kCopyFailed}),
              Seen(window));
    EXPECT_TRUE(std::filesystem::is_directory(output));
    ExpectInputsUntouched();
}

TEST_F(ApplyJobEnds, EngineFailureDeletesTheCopy)
{
    RecordingWindow window;
    patch = File("fix.ips", Prefix(kPatch, kPatch.size() - 4));
    EXPECT_EQ(1u, Run(ApplyJob, patch, target, window));
    EXPECT_EQ(Then(Confirmed(1), {"progress", std::string("finished 0: ") + kNoTerminator}), Seen(window));
    EXPECT_EQ((std::vector<std::string>{"fix.ips", "game.bin"}), Listing());
}

TEST_F(ApplyJobEnds, SuccessPatchesTheCopyOnly)
{
    RecordingWindow window;
    EXPECT_EQ(1u, Run(ApplyJob, patch, target, window));
    EXPECT_EQ(Then(Confirmed(1), {"progress 0: ﾌｧｲﾙ情報を取得中...", "progress 52: ﾊﾟｯﾁ処理中...",
                                  "progress 100: ﾊﾟｯﾁ処理中...", "progress 100: 完了",
                                  "finished 1: " + Text(kPatched, output)}),
              Seen(window, false));
    EXPECT_EQ(ToBytes("aXYd"), ReadFileBytes(output));
    ExpectInputsUntouched();
}

typedef ApplyJobTest ApplyJobFiles;

TEST_F(ApplyJobFiles, ReadOnlyTargetGivesAWritableCopy)
{
    RecordingWindow window;
    target = ReadOnlyFile("game.bin", "abcd");
    EXPECT_EQ(1u, Run(ApplyJob, patch, target, window));
    EXPECT_EQ(ToBytes("aXYd"), ReadFileBytes(output));
    EXPECT_EQ(0u, GetFileAttributesA(output.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_NE(0u, GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(ApplyJobFiles, ReadOnlyExistingOutputIsReplacedAfterYes)
{
    RecordingWindow window;
    ReadOnlyFile("fix.bin", "old");
    EXPECT_EQ(1u, Run(ApplyJob, patch, target, window));
    EXPECT_EQ(ToBytes("aXYd"), ReadFileBytes(output));
    EXPECT_EQ(0u, GetFileAttributesA(output.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(ApplyJobFiles, OutputOfExactlyTheLongestPathIsWritten)
{
    RecordingWindow window;
    patch = PathOfLength(PATH_BUFFER_SIZE - 1, ".abc");
    WriteFileBytes(patch, kPatch);
    output = patch.substr(0, patch.size() - 3) + "bin";
    EXPECT_EQ(1u, Run(ApplyJob, patch, target, window));
    EXPECT_EQ(ToBytes("aXYd"), ReadFileBytes(output));
}

typedef ApplyJobTest ApplyJobRefusals;

TEST_F(ApplyJobRefusals, CopyThatWouldReplaceThePatchFile)
{
    RecordingWindow window;
    std::string other = dir / "other";
    ASSERT_TRUE(std::filesystem::create_directory(other));
    target = other + kPathSeparator + "data.ips";
    WriteFileBytes(target, ToBytes("abcd"));
    output = patch;
    EXPECT_EQ(0u, Run(ApplyJob, patch, target, window));
    EXPECT_EQ(Then(Confirmed(1), {std::string("finished 0: ") + kCopyNamedLikePatch}), Seen(window));
    ExpectInputsUntouched();
}

TEST_F(ApplyJobRefusals, CopyNameLongerThanAPathAsksNothing)
{
    RecordingWindow window;
    patch = PathOfLength(PATH_BUFFER_SIZE - 2, ".i");
    WriteFileBytes(patch, kPatch);
    EXPECT_EQ(0u, Run(ApplyJob, patch, target, window));
    EXPECT_EQ((std::vector<std::string>{"started", std::string("finished 0: ") + kCopyNameTooLong}), Seen(window));
    EXPECT_EQ(3u, Listing().size());
}

TEST_F(ApplyJobRefusals, QuestionToAWindowThatIsGoneCountsAsNo)
{
    RecordingWindow window;
    window.Close();
    EXPECT_EQ(0u, Run(ApplyJob, patch, target, window));
    EXPECT_TRUE(window.notifications().empty());
    EXPECT_EQ((std::vector<std::string>{"fix.ips", "game.bin"}), Listing());
}

TEST_F(ApplyJobTest, RunsOnAThreadOfItsOwnAndTalksToTheWindowsThread)
{
    RecordingWindow window;
    JobRequest request = {};
    lstrcpynA(request.firstPath, patch.c_str(), PATH_BUFFER_SIZE);
    lstrcpynA(request.secondPath, target.c_str(), PATH_BUFFER_SIZE);
    request.window = window.handle();
    HANDLE thread = CreateThread(NULL, 0, ApplyJob, &request, 0, NULL);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &exitCode));
    CloseHandle(thread);
    EXPECT_EQ(1u, exitCode);
    for (const Notification &seen : window.notifications())
        EXPECT_EQ(window.threadId(), seen.threadId) << seen.Describe();
    EXPECT_EQ("finished 1: " + Text(kPatched, output), Seen(window).back());
}
