#include "job_steps.h"

#include "jobs/paths.h"
#include "platform/file_identity.h"
#include "platform/language.h"
#include "platform/output.h"
#include "platform/path_rules.h"

#include <string.h>

static const char kFileMissing[] = N_("%s は、存在しません。");
static const char kSameNames[] = N_("2つのﾌｧｲﾙ名が同一になっています。");
static const char kAskOverwrite[] = N_("%s は、すでに存在しています。\n上書きしてもよろしいですか？");
static const char kCannotWriteOutput[] = N_("%s に書き込めません。");

void FormatPaths(char *dest, DWORD destSize, const char *format, const char *first,
                 const char *second, const char *third)
{
    if (destSize == 0)
        return;
    char whole[JOB_TEXT_LIMIT + 1], shown[3][SHOWN_PATH_SIZE] = {"", "", ""};
    const char *paths[3] = {first, second, third};
    for (int i = 0; i < 3; ++i) {
        if (paths[i] != NULL)
            ShowablePath(paths[i], shown[i]);
    }
    wsprintfA(whole, Translated(format), shown[0], shown[1], shown[2]);
    whole[JOB_TEXT_LIMIT] = '\0';
    const char *end = whole;
    while (*end != '\0') {
        const char *next = CharNextA(end);
        if ((DWORD)(next - whole) > destSize - 1)
            break;
        end = next;
    }
    size_t length = (size_t)(end - whole);
    memcpy(dest, whole, length);
    dest[length] = '\0';
}

void AnnounceStart(JobTalk *talk)
{
    SendMessageA(talk->window, WM_JOB_STARTED, 0, 0);
}

// Hands the error behind the job's end to whoever asked for it.
static void TellError(JobTalk *talk)
{
    if (talk->systemError != NULL)
        *talk->systemError = talk->error;
}

DWORD FailWithText(JobTalk *talk, const char *format, const char *path)
{
    FormatPaths(talk->text, talk->textSize, format, path);
    TellError(talk);
    SendMessageA(talk->window, WM_JOB_FINISHED, 0, (LPARAM)talk->text);
    return 0;
}

DWORD StopQuietly(JobTalk *talk)
{
    SendMessageA(talk->window, WM_JOB_FINISHED, 0, 0);
    return 0;
}

DWORD FinishEngineRun(JobTalk *talk, BOOL succeeded, const char *result)
{
    TellError(talk);
    SendMessageA(talk->window, WM_JOB_FINISHED, succeeded ? 1 : 0, (LPARAM)result);
    return 1;
}

BOOL Ask(JobTalk *talk, const char *format, const char *first, const char *second,
         const char *third)
{
    FormatPaths(talk->text, talk->textSize, format, first, second, third);
    talk->answer = 0;
    SendMessageA(talk->window, WM_JOB_ASK, (WPARAM)&talk->answer, (LPARAM)talk->text);
    return talk->answer != 0;
}

BOOL KeepOutput(JobTalk *talk, BOOL succeeded, const char *output, char *result, DWORD resultSize)
{
    talk->error = succeeded ? ERROR_SUCCESS : GetLastError();
    BOOL kept = EndOutput(succeeded);
    if (!succeeded || kept)
        return succeeded;
    talk->error = GetLastError();
    FormatPaths(result, resultSize, kCannotWriteOutput, output);
    return FALSE;
}

BOOL AskOverwrite(JobTalk *talk, const char *path)
{
    return Ask(talk, kAskOverwrite, path);
}

BOOL BothFilesExist(JobTalk *talk, const char *first, const char *second)
{
    if (!FileExists(first))
        return FailWithText(talk, kFileMissing, first);
    if (!FileExists(second))
        return FailWithText(talk, kFileMissing, second);
    return TRUE;
}

BOOL NamesDiffer(JobTalk *talk, const char *first, const char *second)
{
    if (lstrcmpA(first, second) == 0)
        return FailWithText(talk, kSameNames, NULL);
    return TRUE;
}

BOOL IsOtherNameFor(const char *path, const char *other)
{
    return !SameNameBySystem(path, other) && SameFile(path, other);
}
