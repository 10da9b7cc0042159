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
