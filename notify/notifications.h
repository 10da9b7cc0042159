// The messages between a job on its worker thread and the window that shows it,
// and the record the window hands to a job.
#ifndef ZORVIK_NOTIFY_NOTIFICATIONS_H
#define ZORVIK_NOTIFY_NOTIFICATIONS_H

#include "platform/win32.h"

// Sent by a job as its very first action. wParam 0, lParam 0.
#define WM_JOB_STARTED (WM_USER + 1)
// Sent by a job as its very last action, exactly once. wParam 1 = success,
// 0 = failure or declined; lParam the result text, or null to show nothing.
#define WM_JOB_FINISHED (WM_USER + 2)
// Sent by an engine. wParam the percentage, lParam the status text or null to
// keep the current one.
#define WM_JOB_PROGRESS (WM_USER + 3)
// Sent by a job for each yes/no question. wParam the address of the job's
// signed 32-bit answer, lParam the question. The window writes 1 (yes) or 0 (no).
#define WM_JOB_ASK (WM_USER + 4)
// Sent by a job that works in several steps (the command-line tool's apply
// job with several patches), before each. wParam 0, lParam the text naming it.
#define WM_JOB_STEP (WM_USER + 5)
// A second instance's command-line tail for the running dialog; lParam the text.
#define WM_OPEN_PATCH (WM_USER + 100)

// Size of every path buffer: at most 259 bytes and the terminator.
#define PATH_BUFFER_SIZE 260

// Handed by the window to a job as its thread's only argument. The window
// writes it only while no job runs; a job reads it until it has sent
// WM_JOB_FINISHED and never after.
struct JobRequest {
    char firstPath[PATH_BUFFER_SIZE];   // apply: the patch file; create: the original
    char secondPath[PATH_BUFFER_SIZE];  // apply: the file to patch; create: the modified file
    HWND window;                        // receives the job's notifications
};

// Sends message to window with value as wParam and status as lParam, unless the
// value is less than five above *last (unsigned 32-bit arithmetic); after a
// send, *last becomes the value. A null window sends nothing and leaves *last
// alone; a null last sends every value.
void SendProgress(const char *status, UINT message, DWORD value, DWORD *last, HWND window);

#endif
