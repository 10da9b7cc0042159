// While an OnOneProcessor lives, the calling thread (POSIX) or the process
// (Windows) may run on one processor only, as on a machine that has one.
#ifndef ZORVIK_TESTS_SUPPORT_ONE_PROCESSOR_H
#define ZORVIK_TESTS_SUPPORT_ONE_PROCESSOR_H

#include "platform/win32.h"

#ifdef _WIN32
class OnOneProcessor {
public:
    OnOneProcessor()
    {
        DWORD_PTR system = 0;
        if (GetProcessAffinityMask(GetCurrentProcess(), &kept_, &system))
            SetProcessAffinityMask(GetCurrentProcess(), kept_ & (~kept_ + 1));
    }
    ~OnOneProcessor() { SetProcessAffinityMask(GetCurrentProcess(), kept_); }

private:
    DWORD_PTR kept_ = 0;
};
#else
#  include <sched.h>
class OnOneProcessor {
public:
    OnOneProcessor()
    {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        sched_getaffinity(0, sizeof kept_, &kept_);
        sched_setaffinity(0, sizeof one, &one);
    }
    ~OnOneProcessor() { sched_setaffinity(0, sizeof kept_, &kept_); }

private:
    cpu_set_t kept_;
};
#endif

#endif
