#ifndef ZORVIK_JOBS_CREATE_JOB_H
#define ZORVIK_JOBS_CREATE_JOB_H

#include "platform/win32.h"

// Thread procedure of the create mode; request is a JobRequest (original,
// modified file, window). Checks the files, names the patch, asks the window
// for confirmation, runs the engine and ends with one WM_JOB_FINISHED. Returns
// 1 when the engine ran, 0 when the job ended before.
DWORD WINAPI CreateJob(LPVOID request);

#endif
