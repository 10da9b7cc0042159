#include "stream.h"

#include "win32.h"

#include <string.h>

static int WantsWrite(const char *mode)
{
    return strchr(mode, 'w') != NULL || strchr(mode, 'a') != NULL || strchr(mode, '+') != NULL;
}

FILE *OpenStream(const char *path, const char *mode)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return NULL;
        if ((attributes & FILE_ATTRIBUTE_READONLY) && WantsWrite(mode))
            return NULL;
    }
    return fopen(path, mode);
}

#ifdef _WIN32

#include <io.h>

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
