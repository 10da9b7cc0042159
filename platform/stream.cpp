#include "stream.h"

#include "output.h"
#include "win32.h"

#include <string.h>

#ifdef _WIN32
#  include <fcntl.h>
#  include <io.h>
#endif

FILE *OpenStream(const char *path, const char *mode)
{
    bool update = strchr(mode, '+') != NULL;
    bool reads = mode[0] == 'r' || update, writes = mode[0] == 'w' || update;
    // The held output is this process's already: a stream on it goes by its
    // handle. Other readers share the file with readers and writers, as fopen
    // does; a writer shares it with no one.
    HANDLE file = DuplicateHeldOutput(path);
    if (file == INVALID_HANDLE_VALUE)
        file = CreateFileA(path, (reads ? GENERIC_READ : 0) | (writes ? GENERIC_WRITE : 0),
                           writes ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           mode[0] == 'w' ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
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

#else

#include <errno.h>
#include <unistd.h>

int64_t ReadStreamAt(FILE *stream, void *buffer, uint32_t count, int64_t offset)
{
    uint32_t total = 0;
    while (total < count) {
        ssize_t read = pread(fileno(stream), (char *)buffer + total, count - total, (off_t)(offset + total));
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return -1;
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
        if (written <= 0)
            return -1;
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
