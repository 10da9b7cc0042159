#include "exe_dir.h"

#include "path_rules.h"

#include <string.h>

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
        if (length >= MAX_PATH)
            return FALSE;
        memcpy(path, start, length);
        path[length] = '\0';
        if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
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
    char program[MAX_PATH];
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
