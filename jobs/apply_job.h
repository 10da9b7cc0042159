#ifndef ZORVIK_JOBS_APPLY_JOB_H
#define ZORVIK_JOBS_APPLY_JOB_H

#include "platform/win32.h"

// Thread procedure of the apply mode; request is a JobRequest (patch file,
// file to patch, window). Checks the files, names the output copy, asks the
// window for confirmation, copies and patches the copy, and ends with one
// WM_JOB_FINISHED. Returns 1 when the engine ran, 0 when the job ended before.
DWORD WINAPI ApplyJob(LPVOID request);

#endif
