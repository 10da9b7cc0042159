#include "info.h"

#include "cli/exit_status.h"
#include "engine/engine.h"
#include "platform/path_rules.h"

#include <inttypes.h>
#include <stdio.h>

static const char kWellFormedText[] = "%s は、正常なIPS32ﾌｧｲﾙです。\n";
static const char kCannotOpenText[] = "%sを開けません。\n";
static const char kCannotReadText[] = "%s は、位置 %" PRIu64 " から読み込めません。\n";
static const char kNotIps32Text[] = "%s は、IPS32ﾌｧｲﾙではありません。\n";
static const char kCutRecordText[] = "%s は、位置 %" PRIu64 " のﾚｺｰﾄﾞが途中で切れています。\n";
static const char kNoTerminatorText[] = "%s は、位置 %" PRIu64 " で終わっていて、EEOFがありません。\n";
static const char kDataRecordsText[] = "ﾃﾞｰﾀﾚｺｰﾄﾞ: %" PRIu64 " 個 (%" PRIu64 " ﾊﾞｲﾄ)\n";
static const char kRunRecordsText[] = "ﾗﾝﾚｺｰﾄﾞ: %" PRIu64 " 個 (%" PRIu64 " ﾊﾞｲﾄ)\n";
static const char kWrittenText[] = "書き込む位置: 0x%08" PRIX64 " から 0x%08" PRIX64 " まで\n";
static const char kNothingWrittenText[] = "書き込む位置: なし\n";
static const char kSmallestSizeText[] = "ﾊﾟｯﾁ後のﾌｧｲﾙの最小ｻｲｽﾞ: %" PRIu64 " ﾊﾞｲﾄ\n";
static const char kTrailingText[] = "EEOFの後のﾃﾞｰﾀ: %" PRIu64 " ﾊﾞｲﾄ (読み込まれません)\n";
static const char kNoTrailingText[] = "EEOFの後のﾃﾞｰﾀ: なし\n";
static const char kDataRecordText[] = "%" PRIu64 ": 0x%08lX ﾃﾞｰﾀ %lu ﾊﾞｲﾄ\n";
static const char kRunRecordText[] = "%" PRIu64 ": 0x%08lX ﾗﾝ %lu ﾊﾞｲﾄ (0x%02X)\n";

// The condition's name in JSON.
static const char *const kConditionNames[] = {"well-formed", "cannot-open",  "cannot-read",
                                              "not-ips32",   "cut-record",   "no-terminator"};

// What the record visitors print to, and whether a record was printed yet.
struct Listing {
    bool json;
    bool first;
};

static void PrintRecord(const PatchRecordInfo &record, void *context)
{
    Listing *listing = (Listing *)context;
    if (listing->json) {
        printf("%s{\"at\":%" PRIu64 ",\"offset\":%lu,\"form\":\"%s\",\"length\":%lu", listing->first ? "" : ",\n",
               record.at, (unsigned long)record.offset, record.run ? "run" : "data", (unsigned long)record.length);
        if (record.run)
            printf(",\"value\":%u", record.value);
        putchar('}');
    } else if (record.run) {
        printf(kRunRecordText, record.at, (unsigned long)record.offset, (unsigned long)record.length, record.value);
    } else {
        printf(kDataRecordText, record.at, (unsigned long)record.offset, (unsigned long)record.length);
    }
    listing->first = false;
}

// The smallest size a file has once the patch is applied: the end of the
// last byte written (a larger file keeps its size).
static uint64_t SmallestSize(const PatchSummary &summary)
{
    return WritesAny(summary) ? summary.highest + 1 : 0;
}

static void PrintJson(const PatchSummary &summary)
{
    printf("\"wellFormed\":%s,\"condition\":\"%s\",", summary.condition == kPatchWellFormed ? "true" : "false",
           kConditionNames[summary.condition]);
    if (summary.condition != kPatchWellFormed && summary.condition != kPatchCannotOpen)
        printf("\"brokenAt\":%" PRIu64 ",", summary.brokenAt);
    printf("\"dataRecords\":%" PRIu64 ",\"dataBytes\":%" PRIu64 ",\"runRecords\":%" PRIu64 ",\"runBytes\":%" PRIu64,
           summary.dataRecords, summary.dataBytes, summary.runRecords, summary.runBytes);
    if (WritesAny(summary))
        printf(",\"lowestOffset\":%" PRIu64 ",\"highestOffset\":%" PRIu64, summary.lowest, summary.highest);
    else
        printf(",\"lowestOffset\":null,\"highestOffset\":null");
    if (summary.condition == kPatchWellFormed)
        printf(",\"smallestSize\":%" PRIu64 ",\"bytesAfterTerminator\":%" PRIu64 "}\n", SmallestSize(summary),
               summary.trailing);
    else
        printf(",\"smallestSize\":null,\"bytesAfterTerminator\":null}\n");
}

static void PrintText(const char *path, const PatchSummary &summary)
{
    switch (summary.condition) {
    case kPatchWellFormed: printf(kWellFormedText, path); break;
    case kPatchCannotOpen: return;
    case kPatchCannotRead: printf(kCannotReadText, path, summary.brokenAt); break;
    case kPatchNotIps32: printf(kNotIps32Text, path); return;
    case kPatchCutRecord: printf(kCutRecordText, path, summary.brokenAt); break;
    case kPatchNoTerminator: printf(kNoTerminatorText, path, summary.brokenAt); break;
    }
    printf(kDataRecordsText, summary.dataRecords, summary.dataBytes);
    printf(kRunRecordsText, summary.runRecords, summary.runBytes);
    if (WritesAny(summary))
        printf(kWrittenText, summary.lowest, summary.highest);
    else
        fputs(kNothingWrittenText, stdout);
    // A patch that breaks cannot be applied, so it leaves no file behind.
    if (summary.condition != kPatchWellFormed)
        return;
    printf(kSmallestSizeText, SmallestSize(summary));
    if (summary.trailing > 0)
        printf(kTrailingText, summary.trailing);
    else
        fputs(kNoTrailingText, stdout);
}

int RunInfo(const char *patchPath, bool records, bool json)
{
    char path[SHOWN_PATH_SIZE];
    ShowablePath(patchPath, path);
    Listing listing = {json, true};
    if (json)
        fputs(records ? "{\"records\":[\n" : "{", stdout);
    PatchSummary summary;
    BOOL wellFormed = InspectPatch(patchPath, &summary, records ? PrintRecord : NULL, &listing);
    if (json) {
        if (records)
            fputs(listing.first ? "],\n" : "\n],\n", stdout);
        PrintJson(summary);
    } else {
        PrintText(path, summary);
    }
    fflush(stdout);
    if (summary.condition == kPatchCannotOpen)
        fprintf(stderr, kCannotOpenText, path);
    else if (summary.condition == kPatchCannotRead)
        fprintf(stderr, kCannotReadText, path, summary.brokenAt);
    return wellFormed ? kExitSuccess : kExitFailure;
}
