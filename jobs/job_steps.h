// The steps that the apply job and the create job share: formatting their texts,
// talking to the window, and the checks of the two input files.
#ifndef ZORVIK_JOBS_JOB_STEPS_H
#define ZORVIK_JOBS_JOB_STEPS_H

#include "notify/notifications.h"

// Room for a text built from format with up to three paths of at most
// PATH_BUFFER_SIZE - 1 bytes in it, in any language: no translation is longer
// than its text. A macro so that format can be a literal sized with sizeof.
#define JOB_TEXT_SIZE(format) (sizeof(format) + 3 * PATH_BUFFER_SIZE)
// The most that FormatPaths builds, the terminator included (wsprintfA's limit).
#define JOB_TEXT_LIMIT 1024

// Writes format, in the user's language (Translated), with up to three paths
// ("%s", in order; unused ones may be null), each as ShowablePath shows it,
// into dest of destSize bytes, cut at a character boundary to fit, and to
// JOB_TEXT_LIMIT. The paths are read whole
// first, so dest may be one.
void FormatPaths(char *dest, DWORD destSize, const char *format, const char *first,
                 const char *second = NULL, const char *third = NULL);

// One job run's side of the conversation with its window. text is the job's
// own message buffer; answer is the variable its questions hand to the window.
// error is the system's error code behind a failure (0 for none), handed to
// systemError (when not null) before the job's last notification.
struct JobTalk {
    HWND window;
    char *text;
    DWORD textSize;
    INT answer;
    DWORD error;
    DWORD *systemError;
};

// Sends WM_JOB_STARTED.
void AnnounceStart(JobTalk *talk);

// Fails with a text: formats format with path (may be null) into the message
// text and sends WM_JOB_FINISHED with wParam 0 and that text. Returns 0, the
// exit code of a job that ended before its engine.
DWORD FailWithText(JobTalk *talk, const char *format, const char *path);

// Stops quietly: WM_JOB_FINISHED with wParam 0 and no text. Returns 0.
DWORD StopQuietly(JobTalk *talk);

// Sends the result of an engine run: WM_JOB_FINISHED with wParam succeeded and
// the engine's text. Returns 1, the exit code of a job whose engine ran.
DWORD FinishEngineRun(JobTalk *talk, BOOL succeeded, const char *result);

// Asks a yes/no question built from format and up to three paths. The answer
// is 0 until the window writes it, so a question that reaches no window counts
// as No. Returns 1 for yes.
BOOL Ask(JobTalk *talk, const char *format, const char *first, const char *second = NULL,
         const char *third = NULL);

// Ends the output (platform/output.h) of an engine run that wrote the output
// named output, and records the system's error behind a failure. After a
// success the output takes its name; when that fails, result (resultSize
// bytes) says that output cannot be written. Returns whether the run
// succeeded in the end.
BOOL KeepOutput(JobTalk *talk, BOOL succeeded, const char *output, char *result, DWORD resultSize);

// Asks whether the existing file at path may be overwritten; 1 for yes.
BOOL AskOverwrite(JobTalk *talk, const char *path);

// The checks of the two input files. Each returns 1 to go on; otherwise the
// job has failed with a text and ends with exit code 0.
// Both files exist (a directory counts).
BOOL BothFilesExist(JobTalk *talk, const char *first, const char *second);
// The two names differ, compared case-sensitively.
BOOL NamesDiffer(JobTalk *talk, const char *first, const char *second);

// 1 when path leads to the file at other under a name that is not other's by
// the system's rule for names (SameNameBySystem): a symbolic or hard link,
// another spelling. The jobs' name checks do not see these.
BOOL IsOtherNameFor(const char *path, const char *other);

#endif
