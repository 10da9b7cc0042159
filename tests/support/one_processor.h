// Runs the test on one processor while an OnOneProcessor lives: the calling
// thread (POSIX) or the process (Windows) is held to the first processor it
// was allowed, as on a machine that has only one.
#ifndef ZORVIK_TESTS_SUPPORT_ONE_PROCESSOR_H
#define ZORVIK_TESTS_SUPPORT_ONE_PROCESSOR_H

#include "platform/win32.h"

#ifndef _WIN32
#  include <sched.h>
#endif

class OnOneProcessor {
public:
#ifdef _WIN32
    OnOneProcessor()
    {
        DWORD_PTR system = 0;
        if (GetProcessAffinityMask(GetCurrentProcess(), &kept_, &system))
            SetProcessAffinityMask(GetCurrentProcess(), kept_ & (~kept_ + 1));
    }
    ~OnOneProcessor()
    {
        if (kept_ != 0)
            SetProcessAffinityMask(GetCurrentProcess(), kept_);
    }
#else
    OnOneProcessor()
    {
        CPU_ZERO(&kept_);
        cpu_set_t one;
        CPU_ZERO(&one);
        if (sched_getaffinity(0, sizeof kept_, &kept_) == 0) {
            for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
                if (CPU_ISSET(cpu, &kept_)) {
                    CPU_SET(cpu, &one);
                    break;
                }
            }
            sched_setaffinity(0, sizeof one, &one);
        }
    }
    ~OnOneProcessor() { sched_setaffinity(0, sizeof kept_, &kept_); }
#endif
    OnOneProcessor(const OnOneProcessor &) = delete;
    OnOneProcessor &operator=(const OnOneProcessor &) = delete;

private:
#ifdef _WIN32
    DWORD_PTR kept_ = 0;
#else
    cpu_set_t kept_;
#endif
};

#endif
