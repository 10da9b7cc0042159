#include "errors.h"

#include <errno.h>
#include <string.h>

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
