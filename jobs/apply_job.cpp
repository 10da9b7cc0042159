#include "apply_job.h"

#include "engine/engine.h"
#include "jobs/job_steps.h"
#include "notify/notifications.h"
#include "jobs/paths.h"
#include "platform/language.h"
#include "platform/output.h"
#include "platform/path_rules.h"

static const char kNotIpsFile[] = N_("%s は、IPSﾌｧｲﾙではありません。");
static const char kCopyNameTooLong[] = N_("ﾊﾟｯﾁするﾌｧｲﾙのｺﾋﾟｰのﾌｧｲﾙ名が長すぎるためﾊﾟｯﾁを行えません。");
static const char kAskApply[] =
    N_("ﾊﾟｯﾁするﾌｧｲﾙ\n%s\nのｺﾋﾟｰ\n%s\nを作成し、このﾌｧｲﾙをIPSﾌｧｲﾙ\n%s\nでﾊﾟｯﾁします。\nよろしいですか?");
static const char kCopyNamedLikeTarget[] =
    N_("ﾊﾟｯﾁするﾌｧｲﾙとそのｺﾋﾟｰのﾌｧｲﾙが同名になってしまうためﾊﾟｯﾁを行えません。");
static const char kCopyNamedLikePatch[] =
    N_("ﾊﾟｯﾁするﾌｧｲﾙのｺﾋﾟｰがIPSﾌｧｲﾙと同名になってしまうためﾊﾟｯﾁを行えません。");
static const char kCopyFailed[] = N_("ﾌｧｲﾙをｺﾋﾟｰできません。");
static const char kTargetChanged[] = N_("%s は、読み込み中に変更されました。");
static const char kAskApplyAll[] =
    N_("ﾊﾟｯﾁするﾌｧｲﾙ\n%s\nのｺﾋﾟｰ\n%s\nを作成し、このﾌｧｲﾙを%s個のIPSﾌｧｲﾙで順にﾊﾟｯﾁします。\nよろしいですか?");
static const char kAskApplied[] = N_("%s は、すでにﾊﾟｯﾁされています。\nそれでもﾊﾟｯﾁしてもよろしいですか？");
static const char kApplyingStep[] = N_("IPSﾌｧｲﾙ %s でﾊﾟｯﾁしています。(%s/%s)");
static const char kStepFailed[] = N_("%s個目のIPSﾌｧｲﾙ %s でﾊﾟｯﾁできませんでした。\n%s");

// Room for a count of patches as text.
#define COUNT_TEXT_SIZE 12

static_assert(JOB_TEXT_SIZE(kAskApply) <= JOB_TEXT_LIMIT && JOB_TEXT_SIZE(kAskApplyAll) <= JOB_TEXT_LIMIT,
              "the confirmations with three paths must be formatted whole");
// A count, the patch's path and an engine text.
static_assert(sizeof kStepFailed + COUNT_TEXT_SIZE + PATH_BUFFER_SIZE + ENGINE_TEXT_SIZE <= JOB_TEXT_LIMIT,
              "a failing patch's text must be formatted whole");

// Whether the target already holds what every patch writes.
static BOOL AllApplied(const ApplyOrder &order)
{
    for (int i = 0; i < order.patchCount; ++i) {
        if (!IsPatchApplied(order.patches[i], order.target))
            return FALSE;
    }
    return TRUE;
}

// Applies every patch to the copy at output in order; with several, each is
// announced first and a failure's text names the patch. The text of the
// last engine run is left in result.
static BOOL ApplyAll(JobTalk *talk, const ApplyOrder &order, const char *count, HANDLE copy, const char *output,
                     char *result, DWORD resultSize)
{
    char index[COUNT_TEXT_SIZE];
    for (int i = 0; i < order.patchCount; ++i) {
        wsprintfA(index, "%d", i + 1);
        if (order.patchCount > 1) {
            FormatPaths(talk->text, talk->textSize, kApplyingStep, order.patches[i], index, count);
            SendMessageA(talk->window, WM_JOB_STEP, 0, (LPARAM)talk->text);
        }
        if (!ApplyPatchTo(copy, output, order.patches[i], result, resultSize, talk->window, WM_JOB_PROGRESS)) {
            // FormatPaths reads result whole before it writes it.
            if (order.patchCount > 1)
                FormatPaths(result, resultSize, kStepFailed, index, order.patches[i], result);
            return FALSE;
        }
    }
    return TRUE;
}

typedef BOOL (*NameTest)(const char *path, const char *other);

// The refusal when the copy at output would be the target as sameAsTarget
// tells, or a patch as sameAsPatch tells; else null.
static const char *CopyNameClash(const ApplyOrder &order, const char *output, NameTest sameAsTarget,
                                 NameTest sameAsPatch)
{
    if (sameAsTarget(output, order.target))
        return kCopyNamedLikeTarget;
    for (int i = 0; i < order.patchCount; ++i) {
        if (sameAsPatch(output, order.patches[i]))
            return kCopyNamedLikePatch;
    }
    return NULL;
}

// The apply job's steps. ApplyJob's order has one patch, a derived output
// and no question about an applied target, and these steps are then exactly
// the dialog's.
static DWORD RunApply(const ApplyOrder &order)
{
    const char *target = order.target;
    const char *last = order.patches[order.patchCount - 1];
    char text[JOB_TEXT_LIMIT];
    JobTalk talk = {order.window, text, sizeof text, 0, ERROR_SUCCESS, order.systemError};

    AnnounceStart(&talk);
    for (int i = 0; i < order.patchCount; ++i) {
        if (!BothFilesExist(&talk, order.patches[i], target))
            return 0;
    }
    for (int i = 0; i < order.patchCount; ++i) {
        if (!IsIps32File(order.patches[i]))
            return FailWithText(&talk, kNotIpsFile, order.patches[i]);
    }
    for (int i = 0; i < order.patchCount; ++i) {
        if (!NamesDiffer(&talk, order.patches[i], target))
            return 0;
    }
    if (order.askIfApplied && AllApplied(order) && !Ask(&talk, kAskApplied, target))
        return StopQuietly(&talk);
    char output[PATH_BUFFER_SIZE];
    if (order.output != NULL) {
        lstrcpynA(output, order.output, sizeof output);
    } else {
        char extension[PATH_BUFFER_SIZE];
        GetExtension(target, extension);
        if (!ReplaceExtension(last, output, sizeof output, extension))
            return FailWithText(&talk, kCopyNameTooLong, NULL);
    }
    // The copy would be written over an input that it reaches by another name;
    // by the same name it is refused after the confirmation.
    const char *clash = CopyNameClash(order, output, IsOtherNameFor, IsOtherNameFor);
    if (clash != NULL)
        return FailWithText(&talk, clash, NULL);
    char count[COUNT_TEXT_SIZE];
    wsprintfA(count, "%d", order.patchCount);
    if (!(order.patchCount == 1 ? Ask(&talk, kAskApply, target, output, last)
                                : Ask(&talk, kAskApplyAll, target, output, count)))
        return StopQuietly(&talk);
    // The copy would replace the target or a patch it is to be patched with;
    // against the target the wider rule for names holds.
    clash = CopyNameClash(order, output, SameNameByteFolded, SameNameBySystem);
    if (clash != NULL)
        return FailWithText(&talk, clash, NULL);
    if (FileExists(output) && !AskOverwrite(&talk, output))
        return StopQuietly(&talk);
    // The copy is a new file beside the output's name, held by this job alone
    // from its making to its end; it takes the name once it is patched.
    HANDLE copy = BeginOutput(output, target, TRUE);
    CopyOutcome copied = copy != INVALID_HANDLE_VALUE ? CopyIntoOutput(copy, target) : kNotCopied;
    if (copied != kCopied) {
        talk.error = copied == kNotCopied ? GetLastError() : ERROR_SUCCESS;
        EndOutput(FALSE);
        return copied == kNotCopied ? FailWithText(&talk, kCopyFailed, NULL)
                                    : FailWithText(&talk, kTargetChanged, target);
    }

    // The engine's text, or that text with the patch named in it.
    char result[JOB_TEXT_LIMIT];
    SetLastError(ERROR_SUCCESS);
    BOOL patched = ApplyAll(&talk, order, count, copy, output, result, sizeof result);
    patched = KeepOutput(&talk, patched, output, result, sizeof result);
    return FinishEngineRun(&talk, patched, result);
}

DWORD WINAPI ApplyJob(LPVOID param)
{
    const JobRequest *request = (const JobRequest *)param;
    const char *patch = request->firstPath;
    const ApplyOrder order = {&patch, 1, request->secondPath, NULL, FALSE, request->window, NULL};
    return RunApply(order);
}

DWORD WINAPI ApplyOrderJob(LPVOID order)
{
    return RunApply(*(const ApplyOrder *)order);
}
