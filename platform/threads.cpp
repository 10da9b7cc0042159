#include "threads.h"

#ifndef _WIN32
#  include <sched.h>
#endif

// Where the processors the process may run on cannot be told, a second one is
// taken to be there.
BOOL ThreadsAvailable(void)
{
#ifdef _WIN32
    DWORD_PTR process = 0, system = 0;
    return !GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || (process & (process - 1)) != 0;
#else
    cpu_set_t allowed;
    return sched_getaffinity(0, sizeof allowed, &allowed) != 0 || CPU_COUNT(&allowed) >= 2;
#endif
}
