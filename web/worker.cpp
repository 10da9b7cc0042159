// The page's worker: the apply and create jobs and the patch report of the
// command-line tool, run on the worker's one thread. worker.js mounts the
// user's files and the output's storage (platform/web/files.js) and calls
// these functions; their notifications go to the page as messages.
#include "cli/info.h"
#include "jobs/apply_job.h"
#include "jobs/create_job.h"
#include "jobs/paths.h"
#include "notify/notifications.h"

#include <emscripten.h>

namespace {

const char kWindowClass[] = "ZorvikWebJobWindow";
const char kPatchExtension[] = "ips";

// What the page learns of a job, as worker.js posts it (texts are read before
// these return).
EM_JS(void, PostProgress, (unsigned percent, const char *status), {
    ZorvikPost({type: 'progress', percent: percent, status: status ? UTF8ToString(status) : null});
});
EM_JS(void, PostQuestion, (const char *question), {
    ZorvikPost({type: 'question', text: UTF8ToString(question)});
});
EM_JS(void, PostFinished, (int succeeded, const char *text, unsigned systemError), {
    ZorvikPost({type: 'finished', succeeded: !!succeeded, text: text ? UTF8ToString(text) : null,
                systemError: systemError});
});

// One job's conversation. The page shows the job's confirmation before the
// job runs for real: a first run answers its first question no, which stops
// the job, and hands the question to the page; once the user has said yes
// there, the second run answers yes to what it asks (the same confirmation,
// and whether an older output in the page's storage may be replaced).
struct JobState {
    bool confirmed;
    bool asked;
    DWORD systemError;  // written by the job before WM_JOB_FINISHED
};

// Runs on the worker's thread, called straight from the job's SendMessageA.
LRESULT CALLBACK JobWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    JobState *state = (JobState *)GetWindowLongPtrA(window, GWLP_USERDATA);
    if (state == NULL)
        return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_JOB_PROGRESS:
        PostProgress((unsigned)wParam, (const char *)lParam);
        return 0;
    case WM_JOB_ASK:
        if (!state->confirmed && !state->asked)
            PostQuestion((const char *)lParam);
        state->asked = true;
        *(INT *)wParam = state->confirmed ? 1 : 0;
        return 0;
    case WM_JOB_FINISHED:
        // A job stopped by its question has nothing more to say.
        if (state->confirmed || !state->asked)
            PostFinished((int)wParam, (const char *)lParam, state->systemError);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND JobWindow(JobState *state)
{
    static HWND window = NULL;
    if (window == NULL) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = JobWindowProc;
        windowClass.lpszClassName = kWindowClass;
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    }
    SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)state);
    return window;
}

}  // namespace

extern "C" {

// Writes the name the output of mode (0 apply, 1 create) takes after the
// names of its two files into dest (PATH_BUFFER_SIZE bytes), as the jobs
// name it: the patch's name with the target's extension, or the modified
// file's with "ips". Returns 0, with dest empty, when it would be too long.
EMSCRIPTEN_KEEPALIVE int ZorvikOutputName(int mode, const char *first, const char *second, char *dest)
{
    if (mode == 1)
        return ReplaceExtension(second, dest, PATH_BUFFER_SIZE, kPatchExtension);
    char extension[PATH_BUFFER_SIZE];
    GetExtension(second, extension);
    return ReplaceExtension(first, dest, PATH_BUFFER_SIZE, extension);
}

// Runs the job of mode on the two files, making output, until its end:
// progress and the end go to the page; before confirmed, the job's question
// goes to the page instead and the job stops there.
EMSCRIPTEN_KEEPALIVE void ZorvikRunJob(int mode, const char *first, const char *second, const char *output,
                                      int smallest, int confirmed)
{
    JobState state = {confirmed != 0, false, ERROR_SUCCESS};
    HWND window = JobWindow(&state);
    if (mode == 1) {
        CreateOrder order = {first, second, output, smallest ? TRUE : FALSE, window, &state.systemError};
        CreateOrderJob(&order);
    } else {
        ApplyOrder order = {&first, 1, second, output, FALSE, window, &state.systemError};
        ApplyOrderJob(&order);
    }
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
}

// The command-line tool's report on the patch at path (zorvik info), in the
// chosen language, on the worker's standard output and error. Returns 1 for
// a well-formed patch.
EMSCRIPTEN_KEEPALIVE int ZorvikInspect(const char *path)
{
    return RunInfo(path, false, false) == 0;
}

}
