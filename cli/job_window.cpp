#include "job_window.h"

#include "cli/answers.h"
#include "cli/exit_status.h"
#include "platform/console.h"

#include <stdio.h>

static const char kWindowClass[] = "ZorvikCliJobWindow";

// What the window needs while the job runs; it lives in RunJob's frame.
struct WindowState {
    bool yes;
    ProgressStyle progress;
    int exitStatus;
    DWORD systemError;  // written by the job before WM_JOB_FINISHED
};

static void OnJobFinished(WindowState *state, WPARAM succeeded, const char *text)
{
    EndProgress(state->progress);
    if (succeeded) {
        state->exitStatus = kExitSuccess;
        printf("%s\n", text != NULL ? text : "");
    } else if (text != NULL) {
        state->exitStatus = kExitFailure;
        const char *reason = SystemReason(state->systemError);
        fprintf(stderr, reason != NULL ? "%s\n%s\n" : "%s\n", text, reason);
    } else {
        state->exitStatus = kExitDeclined;
    }
    fflush(stdout);
    PostQuitMessage(0);
}

// Runs on the main thread while the job waits in SendMessageA; the texts are
// used before the handler returns and not kept.
static LRESULT CALLBACK JobWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowState *state = (WindowState *)GetWindowLongPtrA(window, GWLP_USERDATA);
    if (state == NULL)
        return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_JOB_STARTED:
        return 0;
    case WM_JOB_PROGRESS:
        ShowProgress(state->progress, (unsigned)wParam, (const char *)lParam);
        return 0;
    case WM_JOB_STEP:
        EndProgress(state->progress);
        fprintf(stderr, "%s\n", (const char *)lParam);
        return 0;
    case WM_JOB_ASK:
        EndProgress(state->progress);
        *(INT *)wParam = AskUser((const char *)lParam, state->yes) ? 1 : 0;
        return 0;
    case WM_JOB_FINISHED:
        OnJobFinished(state, wParam, (const char *)lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND CreateJobWindow(WindowState *state)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = JobWindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassA(&windowClass))
        return NULL;
    HWND window = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                  windowClass.hInstance, NULL);
    if (window != NULL)
        SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)state);
    return window;
}

int RunJob(LPTHREAD_START_ROUTINE job, LPVOID order, HWND *orderWindow, DWORD **systemError, bool yes,
           ProgressStyle progress)
{
    WindowState state = {yes, progress, kExitFailure, ERROR_SUCCESS};
    HWND window = CreateJobWindow(&state);
    if (window == NULL) {
        fputs("zorvik: cannot create the window for the job's messages\n", stderr);
        return kExitFailure;
    }
    *orderWindow = window;
    *systemError = &state.systemError;
    HANDLE thread = CreateThread(NULL, 0, job, order, 0, NULL);
    if (thread == NULL) {
        DestroyWindow(window);
        fputs("zorvik: cannot start the job's thread\n", stderr);
        return kExitFailure;
    }
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    DestroyWindow(window);
    return state.exitStatus;
}
