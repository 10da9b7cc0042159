#include "apply_job.h"

#include "engine/apply.h"
#include "engine/ips32.h"
#include "jobs/job_steps.h"
#include "notify/notifications.h"
#include "jobs/paths.h"
#include "platform/output.h"
#include "platform/path_rules.h"

static const char kNotIpsFile[] = "%s は、IPSﾌｧｲﾙではありません。";
static const char kCopyNameTooLong[] = "ﾊﾟｯﾁするﾌｧｲﾙのｺﾋﾟｰのﾌｧｲﾙ名が長すぎるためﾊﾟｯﾁを行えません。";
static const char kAskApply[] =
    "ﾊﾟｯﾁするﾌｧｲﾙ\n%s\nのｺﾋﾟｰ\n%s\nを作成し、このﾌｧｲﾙをIPSﾌｧｲﾙ\n%s\nでﾊﾟｯﾁします。\nよろしいですか?";
static const char kCopyNamedLikeTarget[] =
    "ﾊﾟｯﾁするﾌｧｲﾙとそのｺﾋﾟｰのﾌｧｲﾙが同名になってしまうためﾊﾟｯﾁを行えません。";
static const char kCopyNamedLikePatch[] =
    "ﾊﾟｯﾁするﾌｧｲﾙのｺﾋﾟｰがIPSﾌｧｲﾙと同名になってしまうためﾊﾟｯﾁを行えません。";
static const char kCopyFailed[] = "ﾌｧｲﾙをｺﾋﾟｰできません。";

static_assert(JOB_TEXT_SIZE(kAskApply) <= JOB_TEXT_LIMIT,
              "the confirmation with three paths must be formatted whole");

DWORD WINAPI ApplyJob(LPVOID param)
{
    const JobRequest *request = (const JobRequest *)param;
    const char *patch = request->firstPath;
    const char *target = request->secondPath;
    char text[JOB_TEXT_SIZE(kAskApply)];
    JobTalk talk = {request->window, text, sizeof text, 0};

    AnnounceStart(&talk);
    if (!BothFilesExist(&talk, patch, target))
        return 0;
    if (!IsIps32File(patch))
        return FailWithText(&talk, kNotIpsFile, patch);
    if (!NamesDiffer(&talk, patch, target))
        return 0;
    char extension[PATH_BUFFER_SIZE];
    char output[PATH_BUFFER_SIZE];
    GetExtension(target, extension);
    if (!ReplaceExtension(patch, output, sizeof output, extension))
        return FailWithText(&talk, kCopyNameTooLong, NULL);
    // The copy would be written over an input that it reaches by another name;
    // by the same name it is refused after the confirmation.
    if (IsOtherNameFor(output, target))
        return FailWithText(&talk, kCopyNamedLikeTarget, NULL);
    if (IsOtherNameFor(output, patch))
        return FailWithText(&talk, kCopyNamedLikePatch, NULL);
    if (!Ask(&talk, kAskApply, target, output, patch))
        return StopQuietly(&talk);
    if (SamePathName(output, target))
        return FailWithText(&talk, kCopyNamedLikeTarget, NULL);
    // The copy would replace the patch it is to be patched with.
    if (SamePathName(output, patch))
        return FailWithText(&talk, kCopyNamedLikePatch, NULL);
    BOOL replace = FileExists(output);
    if (replace && !AskOverwrite(&talk, output))
        return StopQuietly(&talk);
    // The copy is a new file, never one that a link leads to, and it is held
    // from its making to its end, so that no other job writes it between the
    // copying and the patching.
    if (!CopyToNewOutput(target, output, replace))
        return FailWithText(&talk, kCopyFailed, NULL);
    char result[ENGINE_TEXT_SIZE];
    BOOL patched = ApplyPatch(output, patch, result, sizeof result, request->window, WM_JOB_PROGRESS);
    EndOutput(patched);
    return FinishEngineRun(&talk, patched, result);
}
