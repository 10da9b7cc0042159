#include "errors.h"
#include "files.h"
#include "handles.h"
#include "platform/advice.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <string>

namespace {

// An open file, and the path it was opened by, for a deletion through it.
class FileObject : public DescriptorObject {
public:
    FileObject(int fd, std::string path) : DescriptorObject(fd), path(std::move(path)) {}
    std::string path;
    uint64_t readAhead = 0;  // bytes the system reads ahead by itself when read in order; 0 where not known
};

// The read-ahead of the disk that holds the file fd, in bytes, as the system
// gives it for the disk or, for a partition, the disk it lies on; 0 where it
// tells none (no such disk, as for a network or memory file system).
static uint64_t DiskReadAhead(int fd)
{
    struct stat info;
    if (fstat(fd, &info) != 0)
        return 0;
    for (const char *queue : {"queue", "../queue"}) {
        char path[80];
        snprintf(path, sizeof path, "/sys/dev/block/%u:%u/%s/read_ahead_kb", major(info.st_dev),
                 minor(info.st_dev), queue);
        FILE *setting = fopen(path, "r");
        if (setting == NULL)
            continue;
        unsigned long kib = 0;
        const bool read = fscanf(setting, "%lu", &kib) == 1;
        fclose(setting);
        if (read)
            return (uint64_t)kib * 1024;
    }
    return 0;
}

// Windows keeps a read-only attribute apart from permissions; here it is the
// absence of every write permission bit, which even root must respect.
bool IsReadOnly(const struct stat &info)
{
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Only regular files open as files. A FIFO would block the open or the reads,
// and a device can be endless (/dev/zero); like a directory, they are refused.
bool IsOpenable(const struct stat &info)
{
    return S_ISREG(info.st_mode);
}

// Without O_NONBLOCK the open of a FIFO would wait for a writer before it
// could be refused; for a regular file the flag changes nothing and is
// dropped once the file is known to be one.
int OpenFlags(DWORD access, DWORD disposition)
{
    int flags = O_CLOEXEC | O_NONBLOCK;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
        flags |= O_RDWR;
    else if (access & GENERIC_WRITE)
        flags |= O_WRONLY;
    else if (access == 0 && disposition == OPEN_EXISTING)
        flags |= O_PATH;  // only asked about: no permission needed, nothing of the file touched
    else
        flags |= O_RDONLY;
    switch (disposition) {
    case CREATE_NEW: return flags | O_CREAT | O_EXCL | O_NOFOLLOW;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS: return flags | O_CREAT;
    default: return flags;  // emptying waits for the lock (SettleOpened)
    }
}

// Takes O_NONBLOCK off a descriptor opened with OpenFlags.
bool Blocking(int fd, int flags)
{
    return (flags & O_PATH) != 0 || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
}

// Share modes as Windows keeps them, between processes too: a handle that
// reads or writes holds a lock on its open file, exclusive when it shares
// nothing (share mode 0), shared otherwise. So a handle that shares nothing
// opens only while no other handle is open, and keeps every other open out.
// Where the file system has no locks, nothing is kept out.
bool LockAsShared(int fd, DWORD access, DWORD shareMode)
{
    if ((access & (GENERIC_READ | GENERIC_WRITE)) == 0)
        return true;
    int kind = (shareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE)) != 0 ? LOCK_SH : LOCK_EX;
    while (flock(fd, kind | LOCK_NB) != 0) {
        if (errno != EINTR)
            return errno != EWOULDBLOCK;
    }
    return true;
}

// Makes what open gave a handle's descriptor: a regular file still (the path
// may have changed since it was looked at), blocking again, locked as its
// share mode says, and emptied only once the lock is held, so that an open
// that is refused empties nothing. A file already empty is left alone: ext4
// takes a truncation to nothing for a file about to be rewritten and, on its
// close, starts writing it to the disk on the closing thread. Returns
// ERROR_SUCCESS or the error.
DWORD SettleOpened(int fd, int openFlags, DWORD access, DWORD shareMode, DWORD disposition)
{
    struct stat info;
    if (fstat(fd, &info) != 0 || !IsOpenable(info) || !Blocking(fd, openFlags))
        return ERROR_ACCESS_DENIED;
    if (!LockAsShared(fd, access, shareMode))
        return ERROR_SHARING_VIOLATION;
    bool empties = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if (!empties || (fstat(fd, &info) == 0 && info.st_size == 0))
        return ERROR_SUCCESS;
    return ftruncate(fd, 0) != 0 ? ErrorFromErrno(errno) : ERROR_SUCCESS;
}

// The permission bits of a new file: templateFile's when given (the umask
// still applies), with the owner's write bit; else everyone's read and write.
mode_t NewFileMode(HANDLE templateFile)
{
    struct stat info;
    int fd = templateFile != NULL ? FileDescriptor(templateFile) : -1;
    if (fd < 0 || fstat(fd, &info) != 0)
        return 0666;
    return (info.st_mode & 0777) | S_IWUSR;
}

bool WritesTo(DWORD access, DWORD disposition)
{
    return (access & GENERIC_WRITE) || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
}

// Where a transfer at an OVERLAPPED's offset stands once done bytes have moved.
off_t OffsetOf(const OVERLAPPED *at, size_t done)
{
    return (off_t)(((uint64_t)at->OffsetHigh << 32 | at->Offset) + done);
}

// The next part of a transfer of count bytes of which done have moved: at the
// file's position, or at an OVERLAPPED's offset when at is given.
ssize_t ReadPart(int fd, unsigned char *bytes, size_t count, const OVERLAPPED *at, size_t done)
{
    if (at == NULL)
        return read(fd, bytes + done, count - done);
    return pread(fd, bytes + done, count - done, OffsetOf(at, done));
}

ssize_t WritePart(int fd, const unsigned char *bytes, size_t count, const OVERLAPPED *at, size_t done)
{
    if (at == NULL)
        return write(fd, bytes + done, count - done);
    return pwrite(fd, bytes + done, count - done, OffsetOf(at, done));
}

}  // namespace

DescriptorObject::~DescriptorObject()
{
    if (fd >= 0)
        close(fd);
}

BOOL DescriptorObject::Close()
{
    int closing = fd;
    fd = -1;
    return close(closing) == 0 ? TRUE : FailFromErrno();
}

int FileDescriptor(HANDLE file)
{
    std::shared_ptr<FileObject> object = LookupHandleAs<FileObject>(file);
    return object ? object->fd : -1;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile)
{
    (void)security;
    if (path == NULL || *path == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    bool existed = stat(path, &info) == 0;
    if (existed && (!IsOpenable(info) || (WritesTo(access, disposition) && IsReadOnly(info)))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int openFlags = OpenFlags(access, disposition);
    int fd = open(path, openFlags, NewFileMode(templateFile));
    if (fd < 0) {
        FailFromErrno();
        return INVALID_HANDLE_VALUE;
    }
    DWORD error = SettleOpened(fd, openFlags, access, shareMode, disposition);
    if (error != ERROR_SUCCESS) {
        close(fd);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    auto object = std::make_shared<FileObject>(fd, path);
    // Told of reading in order, the system reads ahead twice the disk's read-ahead.
    if (flags & FILE_FLAG_SEQUENTIAL_SCAN) {
        posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        object->readAhead = 2 * DiskReadAhead(fd);
    }
    HANDLE handle = RegisterHandle(object);
    // Windows reports an existing file that CREATE_ALWAYS or OPEN_ALWAYS opened.
    bool reportsExisting = existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
    SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

void AdviseWillRead(HANDLE file, uint64_t offset, uint64_t size)
{
    std::shared_ptr<FileObject> object = LookupHandleAs<FileObject>(file);
    if (object && object->readAhead < size)
        posix_fadvise(object->fd, (off_t)offset, (off_t)size, POSIX_FADV_WILLNEED);
}

void AdviseWillChange(HANDLE file, uint64_t offset, uint64_t size)
{
    int fd = FileDescriptor(file);
    if (fd >= 0)
        posix_fadvise(fd, (off_t)offset, (off_t)size, POSIX_FADV_WILLNEED);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped)
{
    int fd = FileDescriptor(file);
    if (read != NULL)
        *read = 0;
    if (fd < 0)
        return FailWith(ERROR_INVALID_HANDLE);
    DWORD total = 0;
    while (total < count) {
        ssize_t got = ReadPart(fd, (unsigned char *)buffer, count, overlapped, total);
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
    // Windows fails a read at an offset where the file has already ended.
    return overlapped != NULL && count > 0 && total == 0 ? FailWith(ERROR_HANDLE_EOF) : TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
{
    int fd = FileDescriptor(file);
    if (written != NULL)
        *written = 0;
    if (fd < 0)
        return FailWith(ERROR_INVALID_HANDLE);
    DWORD total = 0;
    while (total < count) {
        ssize_t done = WritePart(fd, (const unsigned char *)buffer, count, overlapped, total);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return FailWith(done == 0 ? ERROR_DISK_FULL : ErrorFromErrno(errno));
        total += (DWORD)done;
        if (written != NULL)
            *written = total;
    }
    return TRUE;
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

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info)
{
    struct stat stats;
    int fd = FileDescriptor(file);
    if (fd < 0)
        return FailWith(ERROR_INVALID_HANDLE);
    if (fstat(fd, &stats) != 0)
        return FailFromErrno();
    *info = BY_HANDLE_FILE_INFORMATION{};
    info->dwFileAttributes = IsReadOnly(stats) ? (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE) : FILE_ATTRIBUTE_ARCHIVE;
    info->dwVolumeSerialNumber = (DWORD)stats.st_dev;
    info->nFileSizeHigh = (DWORD)((uint64_t)stats.st_size >> 32);
    info->nFileSizeLow = (DWORD)stats.st_size;
    info->nNumberOfLinks = (DWORD)stats.st_nlink;
    info->nFileIndexHigh = (DWORD)((uint64_t)stats.st_ino >> 32);
    info->nFileIndexLow = (DWORD)stats.st_ino;
    return TRUE;
}

BOOL DeleteFileA(LPCSTR path)
{
    struct stat info;
    if (lstat(path, &info) != 0)
        return FailFromErrno();
    // Only files and links are deleted: a FIFO, a socket or a device (say an
    // output named /dev/full, as root) is no file that a job may replace.
    if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode))
        return FailWith(ERROR_ACCESS_DENIED);
    if (!S_ISLNK(info.st_mode) && IsReadOnly(info))
        return FailWith(ERROR_ACCESS_DENIED);
    // A file that a handle holds open is not deleted, as on Windows: the
    // deletion takes the lock that every such handle holds a part of.
    int fd = S_ISREG(info.st_mode) ? open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC) : -1;
    if (fd >= 0 && !LockAsShared(fd, GENERIC_READ, 0)) {
        close(fd);
        return FailWith(ERROR_SHARING_VIOLATION);
    }
    BOOL deleted = unlink(path) == 0 ? TRUE : FailFromErrno();
    if (fd >= 0)
        close(fd);
    return deleted;
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
    if (path == NULL || lstat(path, &info) != 0)
        return path == NULL ? FailWith(ERROR_PATH_NOT_FOUND) : FailFromErrno();
    // The mark means nothing on a directory; a link has none of its own here,
    // and the file it leads to is left alone.
    if (S_ISDIR(info.st_mode) || S_ISLNK(info.st_mode))
        return TRUE;
    mode_t mode = info.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        mode &= ~(mode_t)(S_IWUSR | S_IWGRP | S_IWOTH);
    else if (IsReadOnly(info))
        mode |= S_IWUSR;
    return chmod(path, mode) == 0 ? TRUE : FailFromErrno();
}

BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size)
{
    int fd = FileDescriptor(file);
    if (fd < 0)
        return FailWith(ERROR_INVALID_HANDLE);
    if (kind != FileBasicInfo || size < sizeof(FILE_BASIC_INFO))
        return FailWith(ERROR_INVALID_PARAMETER);
    struct stat stats;
    if (fstat(fd, &stats) != 0)
        return FailFromErrno();
    auto ticks = [](const struct timespec &at) { return (int64_t)at.tv_sec * 10000000 + at.tv_nsec / 100; };
    FILE_BASIC_INFO *basic = (FILE_BASIC_INFO *)info;
    *basic = FILE_BASIC_INFO{};
    basic->LastAccessTime.QuadPart = ticks(stats.st_atim);
    basic->LastWriteTime.QuadPart = ticks(stats.st_mtim);
    basic->ChangeTime.QuadPart = ticks(stats.st_ctim);
    basic->FileAttributes = IsReadOnly(stats) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE;
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file)
{
    int fd = FileDescriptor(file);
    if (fd < 0)
        return FailWith(ERROR_INVALID_HANDLE);
    return fsync(fd) == 0 ? TRUE : FailFromErrno();
}

BOOL MoveFileExA(LPCSTR existingPath, LPCSTR newPath, DWORD flags)
{
    struct stat info;
    if (lstat(newPath, &info) == 0) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING))
            return FailWith(ERROR_ALREADY_EXISTS);
        if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode))
            return FailWith(ERROR_ACCESS_DENIED);
        if (S_ISREG(info.st_mode) && IsReadOnly(info))
            return FailWith(ERROR_ACCESS_DENIED);
    }
    if (rename(existingPath, newPath) != 0)
        return FailFromErrno();
    if (!(flags & MOVEFILE_WRITE_THROUGH))
        return TRUE;
    // The folder's entry is what the rename changed.
    std::string folder(newPath);
    size_t slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return FailFromErrno();
    BOOL synced = fsync(fd) == 0 ? TRUE : FailFromErrno();
    close(fd);
    return synced;
}

BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size)
{
    std::shared_ptr<FileObject> object = LookupHandleAs<FileObject>(file);
    if (object == nullptr)
        return FailWith(ERROR_INVALID_HANDLE);
    if (kind != FileDispositionInfo || size < sizeof(FILE_DISPOSITION_INFO))
        return FailWith(ERROR_INVALID_PARAMETER);
    if (!((FILE_DISPOSITION_INFO *)info)->DeleteFile)
        return TRUE;
    // Only while the path still leads to this very file.
    struct stat named, opened;
    if (lstat(object->path.c_str(), &named) != 0 || fstat(object->fd, &opened) != 0)
        return FailFromErrno();
    if (named.st_dev != opened.st_dev || named.st_ino != opened.st_ino)
        return FailWith(ERROR_FILE_NOT_FOUND);
    return unlink(object->path.c_str()) == 0 ? TRUE : FailFromErrno();
}

HANDLE GetCurrentProcess(void)
{
    return (HANDLE)(LONG_PTR)-1;
}

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, LPHANDLE target, DWORD access,
                     BOOL inherit, DWORD options)
{
    (void)sourceProcess;
    (void)targetProcess;
    (void)access;
    (void)inherit;
    (void)options;
    std::shared_ptr<FileObject> object = LookupHandleAs<FileObject>(source);
    if (object == nullptr)
        return FailWith(ERROR_INVALID_HANDLE);
    int fd = fcntl(object->fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return FailFromErrno();
    *target = RegisterHandle(std::make_shared<FileObject>(fd, object->path));
    return TRUE;
}

int _open_osfhandle(intptr_t file, int flags)
{
    (void)flags;
    std::shared_ptr<FileObject> object = LookupHandleAs<FileObject>((HANDLE)file);
    if (object == nullptr) {
        errno = EBADF;
        return -1;
    }
    UnregisterHandle((HANDLE)file);
    int fd = object->fd;
    object->fd = -1;
    return fd;
}

FILE *_fdopen(int fd, const char *mode)
{
    return fdopen(fd, mode);
}

int _close(int fd)
{
    return close(fd);
}
