#ifndef ZORVIK_JOBS_CREATE_JOB_H
#define ZORVIK_JOBS_CREATE_JOB_H

#include "platform/win32.h"

// Thread procedure of the create mode; request is a JobRequest (original,
// modified file, window). Checks the files, names the patch, asks the window
// for confirmation, runs the engine and ends with one WM_JOB_FINISHED. Returns
// 1 when the engine ran, 0 when the job ended before.
DWORD WINAPI CreateJob(LPVOID request);

// What the command-line tool asks of the create job beyond a JobRequest. The
// paths are the caller's (each shorter than PATH_BUFFER_SIZE) and are read
// until WM_JOB_FINISHED.
struct CreateOrder {
    const char *original;
    const char *modified;
    const char *output;  // the patch; null to name it after the modified file
    BOOL smallest;       // the smallest patch (CreateSmallestPatch)
    HWND window;         // receives the job's notifications
    DWORD *systemError;  // as ApplyOrder's
};

// Thread procedure for a CreateOrder: CreateJob's steps with the patch named
// and written as ordered. Returns as CreateJob does.
DWORD WINAPI CreateOrderJob(LPVOID order);

#endif
