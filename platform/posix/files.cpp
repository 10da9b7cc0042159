#include "internal.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileObject : public KernelObject {
public:
    explicit FileObject(int fd) : fd(fd) {}
    ~FileObject() override
    {
        if (fd >= 0)
            close(fd);
    }
    BOOL Close() override
    {
        int closing = fd;
        fd = -1;
        return close(closing) == 0 ? TRUE : FailFromErrno();
    }
    int fd;
};

// Windows keeps a read-only attribute apart from permissions; here it is the
// absence of every write permission bit, which even root must respect.
bool IsReadOnly(const struct stat &info)
{
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

int OpenFlags(DWORD access, DWORD disposition)
{
    int flags = O_CLOEXEC;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
        flags |= O_RDWR;
    else if (access & GENERIC_WRITE)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    switch (disposition) {
    case CREATE_NEW: return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS: return flags | O_CREAT | O_TRUNC;
    case OPEN_ALWAYS: return flags | O_CREAT;
    case TRUNCATE_EXISTING: return flags | O_TRUNC;
    default: return flags;
    }
}

bool WritesTo(DWORD access, DWORD disposition)
{
    return (access & GENERIC_WRITE) || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
}

int FileDescriptor(HANDLE file)
{
    std::shared_ptr<FileObject> object = LookupHandleAs<FileObject>(file);
    return object ? object->fd : -1;
}

bool WriteAll(int fd, const unsigned char *bytes, size_t count, size_t *written)
{
    *written = 0;
    while (*written < count) {
        ssize_t done = write(fd, bytes + *written, count - *written);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            SetLastError(done == 0 ? ERROR_DISK_FULL : ErrorFromErrno(errno));
            return false;
        }
        *written += (size_t)done;
    }
    return true;
}

bool CopyContents(int from, int to)
{
    unsigned char chunk[1 << 16];
    for (;;) {
        ssize_t got = copy_file_range(from, NULL, to, NULL, 1 << 30, 0);
        if (got == 0)
            return true;
        if (got > 0)
            continue;
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
            return FailFromErrno();
        break;  // not supported here: copy through a buffer
    }
    for (;;) {
        ssize_t got = read(from, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return FailFromErrno();
        if (got == 0)
            return true;
        size_t written;
        if (!WriteAll(to, chunk, (size_t)got, &written))
            return false;
    }
}

// Checks the destination of a copy as Windows does before it replaces it.
BOOL CanReplace(const char *path, const struct stat &source, BOOL failIfExists)
{
    struct stat target;
    if (stat(path, &target) != 0)
        return errno == ENOENT ? TRUE : FailFromErrno();
    if (failIfExists)
        return FailWith(ERROR_FILE_EXISTS);
    if (S_ISDIR(target.st_mode) || IsReadOnly(target))
        return FailWith(ERROR_ACCESS_DENIED);
    // Truncating the destination would destroy the source itself.
    if (target.st_dev == source.st_dev && target.st_ino == source.st_ino)
        return FailWith(ERROR_SHARING_VIOLATION);
    return TRUE;
}

}  // namespace

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile)
{
    (void)shareMode;
    (void)security;
    (void)flags;
    (void)templateFile;
    if (path == NULL || *path == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    bool existed = stat(path, &info) == 0;
    if (existed && (S_ISDIR(info.st_mode) || (WritesTo(access, disposition) && IsReadOnly(info)))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int fd = open(path, OpenFlags(access, disposition), 0666);
    if (fd < 0) {
        FailFromErrno();
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = RegisterHandle(std::make_shared<FileObject>(fd));
    // Windows reports an existing file that CREATE_ALWAYS or OPEN_ALWAYS opened.
    bool reportsExisting = existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
    SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped)
{
    (void)overlapped;
    int fd = FileDescriptor(file);
    if (read != NULL)
        *read = 0;
    if (fd < 0)
        return FailWith(ERROR_INVALID_HANDLE);
    DWORD total = 0;
    while (total < count) {
        ssize_t got = ::read(fd, (unsigned char *)buffer + total, count - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return FailFromErrno();
        if (got == 0)
            break;
        total += (DWORD)got;
        if (read != NULL)
            *read = total;
    }
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
{
    (void)overlapped;
    int fd = FileDescriptor(file);
    if (written != NULL)
        *written = 0;
    if (fd < 0)
        return FailWith(ERROR_INVALID_HANDLE);
    size_t done;
    bool ok = WriteAll(fd, (const unsigned char *)buffer, count, &done);
    if (written != NULL)
        *written = (DWORD)done;
    return ok ? TRUE : FALSE;
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh)
{
    struct stat info;
    int fd = FileDescriptor(file);
    if (fd < 0 || fstat(fd, &info) != 0) {
        SetLastError(fd < 0 ? ERROR_INVALID_HANDLE : ErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    uint64_t size = (uint64_t)info.st_size;
    if (sizeHigh != NULL)
        *sizeHigh = (DWORD)(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return (DWORD)size;
}

BOOL CopyFileA(LPCSTR existing, LPCSTR newFile, BOOL failIfExists)
{
    struct stat source;
    if (stat(existing, &source) != 0)
        return FailFromErrno();
    if (S_ISDIR(source.st_mode))
        return FailWith(ERROR_ACCESS_DENIED);
    if (!CanReplace(newFile, source, failIfExists))
        return FALSE;
    int from = open(existing, O_RDONLY | O_CLOEXEC);
    if (from < 0)
        return FailFromErrno();
    int to = open(newFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (to < 0) {
        close(from);
        return FailFromErrno();
    }
    // The copy carries the source's attributes, read-only mark included.
    bool ok = CopyContents(from, to) && fchmod(to, source.st_mode & 07777) == 0;
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    close(from);
    if (close(to) != 0 && ok) {
        ok = false;
        error = ErrorFromErrno(errno);
    }
    if (!ok) {
        unlink(newFile);  // a partial copy is no copy
        return FailWith(error);
    }
    return TRUE;
}

BOOL DeleteFileA(LPCSTR path)
{
    struct stat info;
    if (lstat(path, &info) != 0)
        return FailFromErrno();
    if (S_ISDIR(info.st_mode) || (!S_ISLNK(info.st_mode) && IsReadOnly(info)))
        return FailWith(ERROR_ACCESS_DENIED);
    return unlink(path) == 0 ? TRUE : FailFromErrno();
}

DWORD GetFileAttributesA(LPCSTR path)
{
    struct stat info;
    if (path == NULL || *path == '\0' || stat(path, &info) != 0) {
        SetLastError(path == NULL || *path == '\0' ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(info.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    return IsReadOnly(info) ? (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE) : FILE_ATTRIBUTE_ARCHIVE;
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes)
{
    struct stat info;
    if (path == NULL || stat(path, &info) != 0)
        return path == NULL ? FailWith(ERROR_PATH_NOT_FOUND) : FailFromErrno();
    if (S_ISDIR(info.st_mode))
        return TRUE;  // the mark means nothing on a directory
    mode_t mode = info.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        mode &= ~(mode_t)(S_IWUSR | S_IWGRP | S_IWOTH);
    else if (IsReadOnly(info))
        mode |= S_IWUSR;
    return chmod(path, mode) == 0 ? TRUE : FailFromErrno();
}
