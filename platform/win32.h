// The one way into the platform for engine/, jobs/, settings/ and cli/.
// On Windows this is <windows.h>; elsewhere our own stand-in for the subset of
// Win32 that the program calls, under the same names and with the behaviour the
// callers rely on (see posix/win32_subset.h for where it differs).
#ifndef ZORVIK_PLATFORM_WIN32_H
#define ZORVIK_PLATFORM_WIN32_H

#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#else
#  include "posix/win32_subset.h"
#endif

#endif
