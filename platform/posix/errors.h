// Win32 error codes from errno, for the POSIX layer and the platform files
// over it; not part of what the core sees.
#ifndef ZORVIK_PLATFORM_POSIX_ERRORS_H
#define ZORVIK_PLATFORM_POSIX_ERRORS_H

#include "win32_subset.h"

// The Win32 error code closest to a POSIX errno value.
DWORD ErrorFromErrno(int error);
// Sets the last error from errno and returns FALSE, for one-line failure paths.
BOOL FailFromErrno(void);
BOOL FailWith(DWORD error);
// The system's own words for a Win32 error code that this layer reports, in
// the language of the locale's messages (LC_MESSAGES); null where it has none
// to give.
const char *SystemReasonText(DWORD error);

#endif
