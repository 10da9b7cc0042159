#include "create_job.h"

#include "engine/engine.h"
#include "jobs/job_steps.h"
#include "notify/notifications.h"
#include "jobs/paths.h"
#include "platform/file_identity.h"
#include "platform/language.h"
#include "platform/output.h"
#include "platform/path_rules.h"

static const char kPatchExtension[] = "ips";
static const char kPatchNameTooLong[] = N_("IPSﾌｧｲﾙのﾌｧｲﾙ名が長すぎるためIPSを作成できません。");
static const char kPatchNamedLikeInput[] =
    N_("IPSﾌｧｲﾙが変更前または変更後のﾌｧｲﾙと同名になってしまうためIPSを作成できません。");
static const char kAskCreate[] =
    N_("変更前のﾌｧｲﾙ\n%s\nを変更後のﾌｧｲﾙ\n%s\nにﾊﾟｯﾁを行うIPSﾌｧｲﾙ\n%s\nを作成します。\nよろしいですか?");

static_assert(JOB_TEXT_SIZE(kAskCreate) <= JOB_TEXT_LIMIT,
              "the confirmation with three paths must be formatted whole");

// The create job's steps. CreateJob's order has a derived name and the
// patch by changed stretches, and these steps are then exactly the dialog's.
static DWORD RunCreate(const CreateOrder &order)
{
    const char *original = order.original;
    const char *modified = order.modified;
    char text[JOB_TEXT_SIZE(kAskCreate)];
    JobTalk talk = {order.window, text, sizeof text, 0, ERROR_SUCCESS, order.systemError};

    AnnounceStart(&talk);
    if (!BothFilesExist(&talk, original, modified) || !NamesDiffer(&talk, original, modified))
        return 0;
    char patch[PATH_BUFFER_SIZE];
    if (order.output != NULL)
        lstrcpynA(patch, order.output, sizeof patch);
    else if (!ReplaceExtension(modified, patch, sizeof patch, kPatchExtension))
        return FailWithText(&talk, kPatchNameTooLong, NULL);
    // Writing the patch there would replace an input, and a failure would
    // delete it, whether the patch's name is the input's or leads to it.
    if (SameNameBySystem(patch, original) || SameNameBySystem(patch, modified) || SameFile(patch, original) ||
        SameFile(patch, modified))
        return FailWithText(&talk, kPatchNamedLikeInput, NULL);
    if (!Ask(&talk, kAskCreate, original, modified, patch))
        return StopQuietly(&talk);
    if (FileExists(patch) && !AskOverwrite(&talk, patch))
        return StopQuietly(&talk);

    // The patch is a new file beside its name, which it takes once it is
    // whole. One that cannot be made fails in the engine, where it would
    // have been made; a read-only older patch is not replaced.
    char result[JOB_TEXT_LIMIT];
    HANDLE file = BeginOutput(patch, modified, FALSE);
    BOOL written = CreatePatchTo(file, patch, original, modified, order.smallest, result, sizeof result, order.window,
                                 WM_JOB_PROGRESS);
    written = KeepOutput(&talk, written, patch, result, sizeof result);
    return FinishEngineRun(&talk, written, result);
}

DWORD WINAPI CreateJob(LPVOID param)
{
    const JobRequest *request = (const JobRequest *)param;
    const CreateOrder order = {request->firstPath, request->secondPath, NULL, FALSE, request->window, NULL};
    return RunCreate(order);
}

DWORD WINAPI CreateOrderJob(LPVOID order)
{
    return RunCreate(*(const CreateOrder *)order);
}
