// Whether the program may start threads of its own beside the one it runs on.
#ifndef ZORVIK_PLATFORM_THREADS_H
#define ZORVIK_PLATFORM_THREADS_H

#include "win32.h"

// 1 where a thread can be started (Windows, POSIX); 0 where the program runs
// on one thread only (the browser's worker, built without wasm threads), so
// that work meant for a second thread is done on the caller's instead.
BOOL ThreadsAvailable(void);

#endif
