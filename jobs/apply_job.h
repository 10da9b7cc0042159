#ifndef ZORVIK_JOBS_APPLY_JOB_H
#define ZORVIK_JOBS_APPLY_JOB_H

#include "platform/win32.h"

// Thread procedure of the apply mode; request is a JobRequest (patch file,
// file to patch, window). Checks the files, names the output copy, asks the
// window for confirmation, copies and patches the copy, and ends with one
// WM_JOB_FINISHED. Returns 1 when the engine ran, 0 when the job ended before.
DWORD WINAPI ApplyJob(LPVOID request);

// What the command-line tool asks of the apply job beyond a JobRequest. The
// paths are the caller's (each shorter than PATH_BUFFER_SIZE) and are read
// until WM_JOB_FINISHED.
struct ApplyOrder {
    const char *const *patches;  // applied in this order to one copy
    int patchCount;              // at least 1
    const char *target;          // the file to patch
    const char *output;          // the copy; null to name it after the last patch
    BOOL askIfApplied;           // ask first when the target already holds what every patch writes
    HWND window;                 // receives the job's notifications
    DWORD *systemError;          // when not null, receives the system's error code behind a
                                 // failure (0 for none) before WM_JOB_FINISHED
};

// Thread procedure for an ApplyOrder: ApplyJob's steps, with every patch
// checked before the copy is made, applied one after the other (each
// announced with WM_JOB_STEP when there are several), the copy named as
// ordered, and, when asked for, a question before anything else when the
// target already holds what the patches write. A failing patch deletes the
// copy and its text names the patch. Returns as ApplyJob does.
//
// Both jobs make their output the same way (platform/output.h): a new file
// under a temporary name, which takes the output's name in one step once it
// is whole and is removed otherwise; an older file there stays as it was
// until then. An input that is written to while it is read fails the job.
DWORD WINAPI ApplyOrderJob(LPVOID order);

#endif
