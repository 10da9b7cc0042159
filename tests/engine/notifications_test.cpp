// What the engines send to their window, what SendProgress lets through, and
// how result texts fit the caller's buffer.
#include "engine/apply.h"
#include "engine/create.h"
#include "jobs/notifications.h"
#include "engine_helpers.h"
#include "recording_window.h"

#include <gtest/gtest.h>

#include <string.h>

static const char kGettingInfo[] = "ﾌｧｲﾙ情報を取得中...";
static const char kDone[] = "完了";
static const char kPatching[] = "ﾊﾟｯﾁ処理中...";
static const char kCreating[] = "作成中...";

static std::vector<std::string> Describe(const std::vector<Notification> &seen)
{
    std::vector<std::string> described;
    for (const Notification &one : seen)
        described.push_back(one.Describe());
    return described;
}

static std::string Progress(WPARAM percent, const char *text)
{
    Notification one = {WM_JOB_PROGRESS, percent, text != NULL, text != NULL ? text : "", 0};
    return one.Describe();
}

class ApplyPatchNotifications : public TempDirTest {
protected:
    RecordingWindow window;
};

TEST_F(ApplyPatchNotifications, EmptyPatchSendsStartProgressAndDone)
{
    ASSERT_EQ(1, ApplyBytes(dir, ToBytes("abc"), BuildPatch({}), window.handle()).result);
    EXPECT_EQ(std::vector<std::string>({Progress(0, kGettingInfo), Progress(100, kPatching), Progress(100, kDone)}),
              Describe(window.notifications()));
}

TEST_F(ApplyPatchNotifications, ManyRecordsSendEveryFifthPercentOfThePatchRead)
{
    std::vector<Bytes> records;
    for (uint32_t i = 0; i < 1000; ++i)
        records.push_back(DataRecord(i * 3, {(unsigned char)i}));
    Bytes patch = BuildPatch(records);
    ASSERT_EQ(1, ApplyBytes(dir, Bytes(), patch, window.handle()).result);

    // Each record's offset, and then the terminator, ends 4 + 7k bytes after
    // the magic; the percentage of the patch read there goes out when it is
    // at least 5 above the last one sent.
    std::vector<std::string> expected = {Progress(0, kGettingInfo)};
    DWORD last = 0;
    for (size_t position = 9; position <= patch.size(); position += 7) {
        DWORD percent = (DWORD)(position * 100 / patch.size());
        if (percent >= last + 5) {
            expected.push_back(Progress(percent, kPatching));
            last = percent;
        }
    }
    expected.push_back(Progress(100, kDone));
    EXPECT_EQ(22u, expected.size());
    EXPECT_EQ(expected, Describe(window.notifications()));
}

TEST_F(ApplyPatchNotifications, FailureSendsNothingAfterIt)
{
    Bytes patch = BuildPatch({DataRecord(0, Bytes(5000, 1)), DataRecord(9000, Bytes(5000, 2))});
    EngineOutcome outcome = ApplyBytes(dir, Bytes(), Prefix(patch, patch.size() - 100), window.handle());
    ASSERT_EQ(0, outcome.result);
    std::vector<Notification> seen = window.notifications();
    // The first offset gives 0, which is no step; the second, read at 5015 of
    // 9921 bytes, is the last progress.
    EXPECT_EQ(std::vector<std::string>({Progress(0, kGettingInfo), Progress(50, kPatching)}),
              Describe(seen));
}

TEST_F(ApplyPatchNotifications, MissingPatchSendsOnlyTheStart)
{
    char text[ENGINE_TEXT_SIZE];
    std::string missing = dir / "missing.ips";
    EXPECT_EQ(0, ApplyPatch((dir / "t.bin").c_str(), missing.c_str(), text, sizeof text, window.handle(),
                            WM_JOB_PROGRESS));
    EXPECT_EQ(std::vector<std::string>({Progress(0, kGettingInfo)}), Describe(window.notifications()));
}

class CreatePatchNotifications : public TempDirTest {
protected:
    RecordingWindow window;
};

TEST_F(CreatePatchNotifications, EqualFilesSendStartAndDone)
{
    ASSERT_EQ(1, CreateBytes(dir, ToBytes("same"), ToBytes("same"), window.handle()).result);
    EXPECT_EQ(std::vector<std::string>({Progress(0, kGettingInfo), Progress(100, kDone)}),
              Describe(window.notifications()));
}

TEST_F(CreatePatchNotifications, RunsSendThrottledStepsButNotTheLastRunOrTail)
{
    Bytes original(1000, 0);
    Bytes modified = original;
    for (size_t i = 0; i < original.size(); i += 10)
        modified[i] = 1;
    modified[999] = 1;
    modified.push_back(7);
    ASSERT_EQ(1, CreateBytes(dir, original, modified, window.handle()).result);

    // Runs end at 1, 11, ... 991, at 0% to 99% of the original: the steps 5,
    // 10, ... 95 go out, and nothing for the run that reaches the end or the tail.
    std::vector<std::string> expected = {Progress(0, kGettingInfo)};
    for (WPARAM percent = 5; percent <= 95; percent += 5)
        expected.push_back(Progress(percent, kCreating));
    expected.push_back(Progress(100, kDone));
    EXPECT_EQ(expected, Describe(window.notifications()));
}

TEST_F(CreatePatchNotifications, FailureSendsNoDone)
{
    EXPECT_EQ(0, CreateBytes(dir, ToBytes("long"), ToBytes("sh"), window.handle()).result);
    EXPECT_EQ(std::vector<std::string>({Progress(0, kGettingInfo)}), Describe(window.notifications()));
}

class SendProgressThrottle : public ::testing::Test {
protected:
    std::vector<WPARAM> Sent() const
    {
        std::vector<WPARAM> values;
        for (const Notification &one : window.notifications())
            values.push_back(one.wParam);
        return values;
    }
    RecordingWindow window;
};

TEST_F(SendProgressThrottle, SendsOnlyStepsOfAtLeastFive)
{
    DWORD last = 0;
    for (DWORD value : {1u, 2u, 3u, 4u, 5u, 9u, 10u})
        SendProgress("s", WM_JOB_PROGRESS, value, &last, window.handle());
    EXPECT_EQ(std::vector<WPARAM>({5, 10}), Sent());
    EXPECT_EQ(10u, last);
}

TEST_F(SendProgressThrottle, NeitherBackwardsNorShortOfTheLastPlusFive)
{
    DWORD last = 50;
    SendProgress("s", WM_JOB_PROGRESS, 40, &last, window.handle());
    EXPECT_EQ(50u, last);
    last = 97;
    SendProgress("s", WM_JOB_PROGRESS, 100, &last, window.handle());
    EXPECT_EQ(97u, last);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(SendProgressThrottle, NullLastSendsEveryValueAndNullWindowNone)
{
    SendProgress(NULL, WM_JOB_PROGRESS, 3, NULL, window.handle());
    SendProgress(NULL, WM_JOB_PROGRESS, 3, NULL, window.handle());
    DWORD last = 0;
    SendProgress("s", WM_JOB_PROGRESS, 50, &last, NULL);
    EXPECT_EQ(0u, last);
    EXPECT_EQ(std::vector<std::string>({Progress(3, NULL), Progress(3, NULL)}), Describe(window.notifications()));
}

TEST_F(SendProgressThrottle, LastValueNearTheTopDoesNotWrap)
{
    DWORD last = 0xFFFFFFFEu;
    SendProgress("s", WM_JOB_PROGRESS, 3, &last, window.handle());
    EXPECT_EQ(std::vector<WPARAM>({3}), Sent());
    EXPECT_EQ(3u, last);
}

// Result texts with the longest paths fit ENGINE_TEXT_SIZE; smaller buffers
// get the text cut, and nothing beyond their size is touched.
class EngineTextBuffer : public TempDirTest {
protected:
    // A path of exactly 259 bytes in the temporary directory.
    std::string LongPath()
    {
        std::string prefix = dir / "";
        return prefix + std::string(259 - prefix.size() - 4, 'n') + ".ips";
    }
};

TEST_F(EngineTextBuffer, LongestTextsWith259BytePathsFit)
{
    std::string patch = LongPath();
    ASSERT_EQ(259u, patch.size());
    WriteFileBytes(patch, ToBytes("NOPE!"));
    char text[ENGINE_TEXT_SIZE];
    EXPECT_EQ(0, ApplyPatch("target", patch.c_str(), text, sizeof text, NULL, 0));
    EXPECT_EQ(Expected("%sは、IPS32ﾌｧｲﾙではありません。", patch), text);

    std::string original = dir / "original.bin";
    WriteFileBytes(original, ToBytes("a"));
    EXPECT_EQ(1, CreatePatch(original.c_str(), original.c_str(), patch.c_str(), text, sizeof text, NULL, 0, NULL));
    EXPECT_EQ(Expected("IPS32ﾌｧｲﾙ %s を作成しました。", patch), text);
}

TEST_F(EngineTextBuffer, SmallBufferGetsTheTextCut)
{
    std::string missing = LongPath();
    const std::string full = Expected("%sを開けません。", missing);
    for (DWORD size : {1u, 2u, 10u, 258u, 300u}) {
        SCOPED_TRACE(size);
        char text[ENGINE_TEXT_SIZE + 16];
        memset(text, 0xCC, sizeof text);
        EXPECT_EQ(0, ApplyPatch("target", missing.c_str(), text, size, NULL, 0));
        EXPECT_EQ(full.substr(0, size - 1), std::string(text));
        for (size_t i = size; i < sizeof text; ++i)
            ASSERT_EQ((char)0xCC, text[i]) << i;

        memset(text, 0xCC, sizeof text);
        EXPECT_EQ(0, CreatePatch(missing.c_str(), "modified", "patch", text, size, NULL, 0, NULL));
        EXPECT_EQ(full.substr(0, size - 1), std::string(text));
        for (size_t i = size; i < sizeof text; ++i)
            ASSERT_EQ((char)0xCC, text[i]) << i;
    }
}

TEST_F(EngineTextBuffer, ZeroSizeBufferIsNotTouched)
{
    char text[8];
    memset(text, 0xCC, sizeof text);
    EXPECT_EQ(0, ApplyPatch("target", (dir / "missing").c_str(), text, 0, NULL, 0));
    EXPECT_EQ(0, CreatePatch((dir / "missing").c_str(), "m", "p", text, 0, NULL, 0, NULL));
    for (char byte : text)
        EXPECT_EQ((char)0xCC, byte);
}
