// The handle table of the POSIX layer; not part of what callers see.
#ifndef ZORVIK_PLATFORM_POSIX_HANDLES_H
#define ZORVIK_PLATFORM_POSIX_HANDLES_H

#include "win32_subset.h"

#include <memory>

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
