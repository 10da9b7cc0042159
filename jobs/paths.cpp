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

// The program's path: the first prefix of the command line, ended by a blank,
// a double quote or the end, that names something existing. Prefixes longer
// than a path can be are not tried. Returns 0 when none does.
static BOOL FindProgramPath(char *path)
{
    const char *start = GetCommandLineA();
    while (*start == '"')
        ++start;
    for (const char *at = start;; at = CharNextA(at)) {
        if (*at != ' ' && *at != '"' && *at != '\0')
            continue;
        size_t length = (size_t)(at - start);
        if (length >= PATH_BUFFER_SIZE)
            return FALSE;
        memcpy(path, start, length);
        path[length] = '\0';
        if (FileExists(path))
            return TRUE;
        if (*at == '\0')
            return FALSE;
    }
}

// Length of the directory part of path, its last separator included.
static size_t DirectoryLength(const char *path)
{
    size_t length = 0;
    for (const char *at = path; *at != '\0'; at = CharNextA(at)) {
        if (IsPathSeparator(at))
            length = (size_t)(at - path) + 1;
    }
    return length;
}

DWORD BuildExeDirPath(char *dest, DWORD destSize, const char *fileName)
{
    if (dest == NULL || destSize == 0)
        return 0;
    char program[PATH_BUFFER_SIZE];
    size_t directory = FindProgramPath(program) ? DirectoryLength(program) : 0;
    if (fileName == NULL)
        fileName = "";
    size_t nameLength = strlen(fileName);
    size_t stored = directory + nameLength;
    if (stored > destSize - 1)
        stored = destSize - 1;
    size_t fromDirectory = directory < stored ? directory : stored;
    memcpy(dest, program, fromDirectory);
    memcpy(dest + fromDirectory, fileName, stored - fromDirectory);
    dest[stored] = '\0';
    return (DWORD)stored;
}
