// Shared pieces of the POSIX layer; not part of what callers see.
#ifndef ZORVIK_PLATFORM_POSIX_INTERNAL_H
#define ZORVIK_PLATFORM_POSIX_INTERNAL_H

#include "win32_subset.h"

#include <memory>
#include <string>

// The Win32 error code closest to a POSIX errno value.
DWORD ErrorFromErrno(int error);
// Sets the last error from errno and returns FALSE, for one-line failure paths.
BOOL FailFromErrno(void);
BOOL FailWith(DWORD error);
// The system's own words for a Win32 error code that this layer reports, in
// the language of the locale's messages (LC_MESSAGES); null where it has none
// to give.
const char *SystemReasonText(DWORD error);

// The full path of the running program's executable; empty where it cannot be
// told.
std::string ProgramPath();

// Something a HANDLE can stand for. Close releases what the object holds and
// reports whether that worked (a file's close can fail).
class KernelObject {
public:
    virtual ~KernelObject() = default;
    virtual BOOL Close() { return TRUE; }
};

// Handles are numbers that are never reused, so a stale or made-up handle is
// recognised as unknown instead of reaching another object.
HANDLE RegisterHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
std::shared_ptr<KernelObject> UnregisterHandle(HANDLE handle);

template <class T> std::shared_ptr<T> LookupHandleAs(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

#endif
