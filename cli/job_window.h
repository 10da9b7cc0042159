// The command-line tool's stand-in for the dialog: a message-only window on
// the main thread that receives a job's notifications.
#ifndef ZORVIK_CLI_JOB_WINDOW_H
#define ZORVIK_CLI_JOB_WINDOW_H

#include "cli/progress.h"
#include "notify/notifications.h"

// Runs job (ApplyJob or CreateJob) for request on a worker thread and handles
// its notifications on the calling thread until WM_JOB_FINISHED: progress on
// stderr in the given style, questions through AskUser (all yes when yes is
// set), the result text on stdout after success and on stderr after a
// failure. Sets request->window. Returns the exit status: success, failure,
// or declined when the job stopped without a text.
int RunJob(LPTHREAD_START_ROUTINE job, JobRequest *request, bool yes, ProgressStyle progress);

#endif
