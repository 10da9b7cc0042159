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

int SeekStream(FILE *stream, int64_t offset, int origin)
{
    return _fseeki64(stream, offset, origin);
}

int64_t TellStream(FILE *stream)
{
    return _ftelli64(stream);
}

#else

int SeekStream(FILE *stream, int64_t offset, int origin)
{
    return fseeko(stream, (off_t)offset, origin);
}

int64_t TellStream(FILE *stream)
{
    return (int64_t)ftello(stream);
}

#endif
