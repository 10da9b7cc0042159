#include "platform/threads.h"

// The worker is built without wasm threads, which need a SharedArrayBuffer and
// so headers that a static host or a local folder does not give.
BOOL ThreadsAvailable(void)
{
    return FALSE;
}
