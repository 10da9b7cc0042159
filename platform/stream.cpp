#include "stream.h"

#include <string.h>

#ifdef _WIN32
#  include <fcntl.h>
#  include <io.h>
#endif

static bool Reads(const char *mode)
{
    return mode[0] == 'r' || strchr(mode, '+') != NULL;
}

static bool Writes(const char *mode)
{
    return mode[0] == 'w' || strchr(mode, '+') != NULL;
}

// A stream that takes file over: fclose closes it.
static FILE *StreamFromHandle(HANDLE file, const char *mode)
{
    bool writes = Writes(mode), reads = Reads(mode);
    int fd = _open_osfhandle((intptr_t)file, !writes ? _O_RDONLY : reads ? _O_RDWR : _O_WRONLY);
    if (fd == -1) {
        CloseHandle(file);
        return NULL;
    }
    FILE *stream = _fdopen(fd, mode);
    if (stream == NULL)
        _close(fd);
    return stream;
}

FILE *OpenStream(const char *path, const char *mode)
{
    // Readers share the file with readers and writers, as fopen does; a
    // writer shares it with no one.
    bool writes = Writes(mode);
    HANDLE file = CreateFileA(path, (Reads(mode) ? GENERIC_READ : 0) | (writes ? GENERIC_WRITE : 0),
                              writes ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              mode[0] == 'w' ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    return file == INVALID_HANDLE_VALUE ? NULL : StreamFromHandle(file, mode);
}

FILE *OpenStreamOn(HANDLE file, const char *mode)
{
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (!DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return NULL;
    return StreamFromHandle(copy, mode);
}

#ifdef _WIN32

static HANDLE StreamHandle(FILE *stream)
{
    return (HANDLE)_get_osfhandle(_fileno(stream));
}

// An OVERLAPPED with an offset makes ReadFile and WriteFile positioned, also on
// a handle opened for synchronous access.
static OVERLAPPED At(int64_t offset)
{
    OVERLAPPED at = {};
    at.Offset = (DWORD)offset;
    at.OffsetHigh = (DWORD)((uint64_t)offset >> 32);
    return at;
}

int64_t ReadStreamAt(FILE *stream, void *buffer, uint32_t count, int64_t offset)
{
    uint32_t total = 0;
    while (total < count) {
        OVERLAPPED at = At(offset + total);
        DWORD read = 0;
        if (!ReadFile(StreamHandle(stream), (char *)buffer + total, count - total, &read, &at))
            return GetLastError() == ERROR_HANDLE_EOF ? total : -1;
        if (read == 0)
            break;
        total += read;
    }
    return total;
}

int WriteStreamAt(FILE *stream, const void *buffer, uint32_t count, int64_t offset)
{
    OVERLAPPED at = At(offset);
    DWORD written = 0;
    return WriteFile(StreamHandle(stream), buffer, count, &written, &at) && written == count ? 0 : -1;
}

int SeekStream(FILE *stream, int64_t offset, int origin)
{
    return _fseeki64(stream, offset, origin);
}

int64_t TellStream(FILE *stream)
{
    return _ftelli64(stream);
}

BOOL TakeStreamStamp(FILE *stream, FileStamp *stamp)
{
    return TakeFileStamp(StreamHandle(stream), stamp);
}

#else

#include "posix/errors.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

int64_t ReadStreamAt(FILE *stream, void *buffer, uint32_t count, int64_t offset)
{
    uint32_t total = 0;
    while (total < count) {
        ssize_t read = pread(fileno(stream), (char *)buffer + total, count - total, (off_t)(offset + total));
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0) {
            FailFromErrno();
            return -1;
        }
        if (read == 0)
            break;
        total += (uint32_t)read;
    }
    return total;
}

int WriteStreamAt(FILE *stream, const void *buffer, uint32_t count, int64_t offset)
{
    uint32_t total = 0;
    while (total < count) {
        ssize_t written = pwrite(fileno(stream), (const char *)buffer + total, count - total, (off_t)(offset + total));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                SetLastError(ERROR_DISK_FULL);
            else
                FailFromErrno();
            return -1;
        }
        total += (uint32_t)written;
    }
    return 0;
}

int SeekStream(FILE *stream, int64_t offset, int origin)
{
    return fseeko(stream, (off_t)offset, origin);
}

int64_t TellStream(FILE *stream)
{
    return (int64_t)ftello(stream);
}

BOOL TakeStreamStamp(FILE *stream, FileStamp *stamp)
{
    struct stat info;
    if (fstat(fileno(stream), &info) != 0)
        return FailFromErrno();
    auto ticks = [](const struct timespec &at) { return (int64_t)at.tv_sec * 10000000 + at.tv_nsec / 100; };
    *stamp = {(int64_t)info.st_size, ticks(info.st_mtim), ticks(info.st_ctim)};
    return TRUE;
}

#endif

int64_t MeasureStream(FILE *stream)
{
    if (SeekStream(stream, 0, SEEK_END) != 0)
        return -1;
    int64_t size = TellStream(stream);
    if (SeekStream(stream, 0, SEEK_SET) != 0)
        return -1;
    return size;
}
