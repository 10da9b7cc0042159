// What the engines send to a window, what SendProgress lets through, and texts in buffers.
#include "engine/create.h"
#include "engine/ips32.h"
#include "notify/notifications.h"
#include "engine_helpers.h"
#include "recording_window.h"

#include <gtest/gtest.h>

#include <algorithm>

static const char kGettingInfo[] = "ﾌｧｲﾙ情報を取得中...";
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
    return Notification{WM_JOB_PROGRESS, percent, text != NULL, text != NULL ? text : "", 0}.Describe();
}

// 0 "getting file information", 5, 10, ... up to last with status, then 100 "done".
static std::vector<std::string> Sequence(WPARAM last, const char *status)
{
    std::vector<std::string> sequence = {Progress(0, kGettingInfo)};
    for (WPARAM percent = 5; percent <= last; percent += 5)
        sequence.push_back(Progress(percent, status));
    sequence.push_back(Progress(100, "完了"));
    return sequence;
}

TEST(EngineNotifications, EachCallSendsExactlyItsSequence)
{
    TempDir dir;
    // Each record is 0.1 percent of the patch, so every step of five is met exactly.
    std::vector<Bytes> records;
    for (uint32_t i = 0; i < 1000; ++i)
        records.push_back(DataRecord(i * 3, {(unsigned char)i}));
    // The second offset, read at 5015 of 9921 bytes, is the last progress.
    const Bytes cut = Prefix(BuildPatch({DataRecord(0, Bytes(5000, 1)), DataRecord(9000, Bytes(5000, 2))}), 9921);
    // Runs end at 1, 11, ... 991; the run that reaches the end and the tail send nothing.
    Bytes modified;
    for (size_t i = 0; i <= 1000; ++i)
        modified.push_back(i % 10 == 0 || i >= 999);
    // A run to the end of the first read, which the next read's first, equal byte closes.
    const Bytes closedByNextRead = Concat({Bytes(98, 0), ToBytes("ab"), Bytes(50, 0), ToBytes("c"), Bytes(849, 0)});
    const std::string getting = Progress(0, kGettingInfo);
    enum Engine { kApply, kCreate, kCreateSmallest };
    const struct {
        const char *name; Engine engine; Bytes first, second; BOOL result; std::vector<std::string> sent;
        DWORD readSize = kCreateTuning.readSize;
    } cases[] = {
        {"nine-byte patch", kApply, ToBytes("abc"), BuildPatch({}), 1,
         {getting, Progress(100, kPatching), Progress(100, "完了")}},
        {"1000 records", kApply, {}, BuildPatch(records), 1, Sequence(100, kPatching)},
        {"patch cut short", kApply, {}, cut, 0, {getting, Progress(50, kPatching)}},
        {"no patch", kApply, {}, ToBytes("NOPE!"), 0, {getting}},
        {"equal files", kCreate, ToBytes("same"), ToBytes("same"), 1, Sequence(0, kCreating)},
        {"runs and a tail", kCreate, Bytes(1000, 0), modified, 1, Sequence(95, kCreating)},
        {"runs and a tail over many reads", kCreate, Bytes(1000, 0), modified, 1, Sequence(95, kCreating), 64},
        {"a run closed where the next read begins", kCreate, Bytes(1000, 0), closedByNextRead, 1,
         {getting, Progress(10, kCreating), Progress(15, kCreating), Progress(100, "完了")}, 100},
        {"smallest patch over four reads", kCreateSmallest, Bytes(1u << 20, 0), Bytes(1u << 20, 1), 1,
         {getting, Progress(25, kCreating), Progress(50, kCreating), Progress(75, kCreating), Progress(100, "完了")}},
        {"smaller modified file", kCreate, ToBytes("long"), ToBytes("sh"), 0, {getting}},
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(row.name);
        // Creation's progress is the same whether the readers compare or not.
        for (bool readersCompare : {false, true}) {
            RecordingWindow window;
            HWND handle = window.handle();
            const EngineOutcome outcome =
                row.engine == kApply ? ApplyBytes(dir, row.first, row.second, handle)
                : row.engine == kCreate
                    ? CreateBytes(dir, row.first, row.second, handle, {row.readSize, IPS32_TERMINATOR_OFFSET, readersCompare})
                    : CreateBytes(dir, row.first, row.second, handle, kCreateTuning, CreateSmallestPatch);
            EXPECT_EQ(row.result, outcome.result);
            EXPECT_EQ(row.sent, Describe(window.notifications()));
        }
    }
}

// From the last value given (none: a null pointer), each value is sent or not.
TEST(SendProgressThrottle, SendsStepsOfAtLeastFiveInUnsigned32BitArithmetic)
{
    const struct { bool hasLast; DWORD last; std::vector<DWORD> values, sent; DWORD lastAfter; } cases[] = {
        {true, 0, {1, 2, 3, 4, 5, 9, 10}, {5, 10}, 10},
        {true, 50, {40}, {}, 50},
        {true, 97, {100}, {}, 97},
        {true, 0xFFFFFFFEu, {3}, {3}, 3},  // last + 5 wraps to 3
        {false, 0, {3, 3, 1}, {3, 3, 1}, 0},
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(row.last);
        RecordingWindow window;
        DWORD last = row.last;
        const char *status = row.hasLast ? "s" : NULL;
        for (DWORD value : row.values) {
            SendProgress("s", WM_JOB_PROGRESS, value, &last, NULL);  // no window: nothing sent, last kept
            SendProgress(status, WM_JOB_PROGRESS, value, row.hasLast ? &last : NULL, window.handle());
        }
        std::vector<std::string> expected;
        for (DWORD value : row.sent)
            expected.push_back(Progress(value, status));
        EXPECT_EQ(expected, Describe(window.notifications()));
        EXPECT_EQ(row.lastAfter, last);
    }
}

// The longest texts fit ENGINE_TEXT_SIZE; smaller buffers cut them, touching nothing beyond.
TEST(EngineTextBuffer, TextsWith259BytePathsAreCutToTheBufferSize)
{
    TempDir dir;
    const std::string prefix = dir / "", notPatch = prefix + std::string(255 - prefix.size(), 'n') + ".ips",
                      patch = prefix + std::string(255 - prefix.size(), 'p') + ".ips";
    ASSERT_EQ(259u, notPatch.size());
    WriteFileBytes(notPatch, ToBytes("NOPE!"));
    const std::string notIps32 = Expected("%sは、IPS32ﾌｧｲﾙではありません。", notPatch),
                      created = Expected("IPS32ﾌｧｲﾙ %s を作成しました。", patch);
    ASSERT_LT(std::max(notIps32.size(), created.size()), (size_t)ENGINE_TEXT_SIZE);
    for (DWORD size : std::vector<DWORD>{0, 1, 2, 10, 258, 300, ENGINE_TEXT_SIZE}) {
        SCOPED_TRACE(size);
        // The text cut to size - 1 bytes and terminated; the rest as it was.
        auto fitted = [&](std::string text) {
            text = size == 0 ? "" : text.substr(0, size - 1) + '\0';
            return text + std::string(ENGINE_TEXT_SIZE + 16 - text.size(), '\xCC');
        };
        std::string applied(ENGINE_TEXT_SIZE + 16, '\xCC'), createdText = applied;
        EXPECT_EQ(0, ApplyPatch("t", notPatch.c_str(), &applied[0], size, NULL, 0));
        EXPECT_EQ(1, CreatePatch(notPatch.c_str(), notPatch.c_str(), patch.c_str(), &createdText[0], size, NULL, 0,
                                 NULL));
        EXPECT_EQ(fitted(notIps32), applied);
        EXPECT_EQ(fitted(created), createdText);
    }
}
