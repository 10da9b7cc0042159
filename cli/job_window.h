// The command-line tool's stand-in for the dialog: a message-only window on
// the main thread that receives a job's notifications.
#ifndef ZORVIK_CLI_JOB_WINDOW_H
#define ZORVIK_CLI_JOB_WINDOW_H

#include "cli/progress.h"
#include "notify/notifications.h"

// Runs job (ApplyOrderJob or CreateOrderJob) for order on a worker thread and
// handles its notifications on the calling thread until WM_JOB_FINISHED:
// progress on stderr in the given style, each step's text as a line on
// stderr, questions through AskUser (all yes when yes is set), the result
// text on stdout after success and on stderr after a failure, followed by the
// system's reason for it (SystemReason) on a line of its own where there is
// one. Sets *window and *systemError, the order's, first. Returns the exit
// status: success, failure, or declined when the job stopped without a text.
int RunJob(LPTHREAD_START_ROUTINE job, LPVOID order, HWND *window, DWORD **systemError, bool yes,
           ProgressStyle progress);

#endif
