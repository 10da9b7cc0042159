// Whether the program may start threads of its own beside the one it runs on.
#ifndef ZORVIK_PLATFORM_THREADS_H
#define ZORVIK_PLATFORM_THREADS_H

#include "win32.h"

// 1 where a thread can be started and a second processor can run it beside
// the caller (Windows, POSIX); 0 where the process may run on one processor
// only, where a thread of its own would take turns with the caller, or where
// the program runs on one thread only (the browser's worker, built without
// wasm threads). Work meant for a second thread is then done on the caller's.
BOOL ThreadsAvailable(void);

#endif
