#include "engine/engine.h"

#include "engine/ips32.h"
#include "platform/stream.h"

#include <string.h>

BOOL IsIps32File(const char *path)
{
    if (path == NULL)
        return 0;
    FILE *file = OpenStream(path, "rb");
    if (file == NULL)
        return 0;
    char magic[IPS32_MAGIC_SIZE];
    size_t got = fread(magic, 1, sizeof magic, file);
    fclose(file);
    return got == sizeof magic && memcmp(magic, IPS32_MAGIC, sizeof magic) == 0;
}
