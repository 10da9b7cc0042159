#include "paths.h"

#include "notify/notifications.h"
#include "platform/path_rules.h"

#include <string.h>

BOOL FileExists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// The last dot of the path's file name, or null. Stepping by characters keeps a
// Shift-JIS trail byte 0x5C from passing for a separator.
static const char *FindExtensionDot(const char *path)
{
    const char *dot = NULL;
    for (const char *at = path; *at != '\0'; at = CharNextA(at)) {
        if (IsPathSeparator(at))
            dot = NULL;
        else if (*at == '.')
            dot = at;
    }
    return dot;
}

void GetExtension(const char *path, char *dest)
{
    const char *dot = FindExtensionDot(path);
    lstrcpynA(dest, dot != NULL ? dot + 1 : "", PATH_BUFFER_SIZE);
}

BOOL ReplaceExtension(const char *source, char *dest, DWORD destSize, const char *extension)
{
    if (destSize == 0)
        return FALSE;
    const char *dot = FindExtensionDot(source);
    size_t kept = dot != NULL ? (size_t)(dot - source) : strlen(source);
    size_t extensionLength = strlen(extension);
    size_t length = extensionLength > 0 ? kept + 1 + extensionLength : kept;
    memset(dest, 0, destSize);
    if (length >= destSize)
        return FALSE;
    memcpy(dest, source, kept);
    if (extensionLength > 0) {
        dest[kept] = '.';
        memcpy(dest + kept + 1, extension, extensionLength);
    }
    return TRUE;
}
