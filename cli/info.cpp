#include "info.h"

#include "cli/exit_status.h"
#include "engine/engine.h"
#include "platform/language.h"
#include "platform/path_rules.h"

#include <inttypes.h>
#include <stdio.h>

static const char kWellFormedText[] = N_("%s は、正常なIPS32ﾌｧｲﾙです。\n");
static const char kCannotOpenText[] = N_("%sを開けません。\n");
static const char kCannotReadText[] = N_("%s は、位置 %" PRIu64 " から読み込めません。\n");
static const char kNotIps32Text[] = N_("%s は、IPS32ﾌｧｲﾙではありません。\n");
static const char kCutRecordText[] = N_("%s は、位置 %" PRIu64 " のﾚｺｰﾄﾞが途中で切れています。\n");
static const char kNoTerminatorText[] = N_("%s は、位置 %" PRIu64 " で終わっていて、EEOFがありません。\n");
static const char kDataRecordsText[] = N_("ﾃﾞｰﾀﾚｺｰﾄﾞ: %" PRIu64 " 個 (%" PRIu64 " ﾊﾞｲﾄ)\n");
static const char kRunRecordsText[] = N_("ﾗﾝﾚｺｰﾄﾞ: %" PRIu64 " 個 (%" PRIu64 " ﾊﾞｲﾄ)\n");
static const char kWrittenText[] = N_("書き込む位置: 0x%08" PRIX64 " から 0x%08" PRIX64 " まで\n");
static const char kNothingWrittenText[] = N_("書き込む位置: なし\n");
static const char kSmallestSizeText[] = N_("ﾊﾟｯﾁ後のﾌｧｲﾙの最小ｻｲｽﾞ: %" PRIu64 " ﾊﾞｲﾄ\n");
static const char kTrailingText[] = N_("EEOFの後のﾃﾞｰﾀ: %" PRIu64 " ﾊﾞｲﾄ (読み込まれません)\n");
static const char kNoTrailingText[] = N_("EEOFの後のﾃﾞｰﾀ: なし\n");
static const char kDataRecordText[] = N_("%" PRIu64 ": 0x%08lX ﾃﾞｰﾀ %lu ﾊﾞｲﾄ\n");
static const char kRunRecordText[] = N_("%" PRIu64 ": 0x%08lX ﾗﾝ %lu ﾊﾞｲﾄ (0x%02X)\n");

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
        printf(Translated(kRunRecordText), record.at, (unsigned long)record.offset, (unsigned long)record.length,
               record.value);
    } else {
        printf(Translated(kDataRecordText), record.at, (unsigned long)record.offset, (unsigned long)record.length);
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
    case kPatchWellFormed: printf(Translated(kWellFormedText), path); break;
    case kPatchCannotOpen: return;
    case kPatchCannotRead: printf(Translated(kCannotReadText), path, summary.brokenAt); break;
    case kPatchNotIps32: printf(Translated(kNotIps32Text), path); return;
    case kPatchCutRecord: printf(Translated(kCutRecordText), path, summary.brokenAt); break;
    case kPatchNoTerminator: printf(Translated(kNoTerminatorText), path, summary.brokenAt); break;
    }
    printf(Translated(kDataRecordsText), summary.dataRecords, summary.dataBytes);
    printf(Translated(kRunRecordsText), summary.runRecords, summary.runBytes);
    if (WritesAny(summary))
        printf(Translated(kWrittenText), summary.lowest, summary.highest);
    else
        fputs(Translated(kNothingWrittenText), stdout);
    // A patch that breaks cannot be applied, so it leaves no file behind.
    if (summary.condition != kPatchWellFormed)
        return;
    printf(Translated(kSmallestSizeText), SmallestSize(summary));
    if (summary.trailing > 0)
        printf(Translated(kTrailingText), summary.trailing);
    else
        fputs(Translated(kNoTrailingText), stdout);
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
        fprintf(stderr, Translated(kCannotOpenText), path);
    else if (summary.condition == kPatchCannotRead)
        fprintf(stderr, Translated(kCannotReadText), path, summary.brokenAt);
    return wellFormed ? kExitSuccess : kExitFailure;
}
