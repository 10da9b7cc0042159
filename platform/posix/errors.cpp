#include "internal.h"

#include <errno.h>
#include <string.h>

#include <assert.h>
#include <mutex>
#include <unordered_map>

static thread_local DWORD lastError = ERROR_SUCCESS;

DWORD GetLastError(void)
{
    return lastError;
}

void SetLastError(DWORD code)
{
    lastError = code;
}

DWORD ErrorFromErrno(int error)
{
    switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_WRITE_FAULT;
    }
}

// The errno value behind a Win32 error code that ErrorFromErrno gives; 0 for
// the codes that no errno value stands behind.
static int ErrnoFromError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL: return ENOSPC;
    case ERROR_FILE_TOO_LARGE: return EFBIG;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY: return ENOMEM;
    case ERROR_SHARING_VIOLATION: return EBUSY;
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT: return EIO;
    default: return 0;
    }
}

const char *SystemReasonText(DWORD error)
{
    if (error == ERROR_BAD_FILE_TYPE)
        return "Not a regular file";
    int number = ErrnoFromError(error);
    return number != 0 ? strerror(number) : NULL;
}

BOOL FailFromErrno(void)
{
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
}

BOOL FailWith(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

namespace {

struct HandleTable {
    std::mutex lock;
    uintptr_t next = 0x100;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
};

HandleTable &Handles()
{
    static HandleTable *table = new HandleTable;  // outlives threads still closing handles at exit
    return *table;
}

}  // namespace

HANDLE RegisterHandle(std::shared_ptr<KernelObject> object)
{
    HandleTable &table = Handles();
    std::lock_guard<std::mutex> guard(table.lock);
    uintptr_t value = table.next;
    table.next += 4;
    table.objects[value] = std::move(object);
    return (HANDLE)value;
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle)
{
    HandleTable &table = Handles();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.objects.find((uintptr_t)handle);
    return found == table.objects.end() ? nullptr : found->second;
}

std::shared_ptr<KernelObject> UnregisterHandle(HANDLE handle)
{
    HandleTable &table = Handles();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.objects.find((uintptr_t)handle);
    if (found == table.objects.end())
        return nullptr;
    std::shared_ptr<KernelObject> object = std::move(found->second);
    table.objects.erase(found);
    return object;
}

BOOL CloseHandle(HANDLE handle)
{
    std::shared_ptr<KernelObject> object = UnregisterHandle(handle);
    // Closing a handle that is not open is a caller's bug; say so loudly in
    // debug builds, and fail like Windows otherwise.
    assert(object != nullptr && "CloseHandle on an unknown handle");
    if (object == nullptr)
        return FailWith(ERROR_INVALID_HANDLE);
    return object->Close();
}
