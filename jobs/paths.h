#ifndef ZORVIK_JOBS_PATHS_H
#define ZORVIK_JOBS_PATHS_H

#include "platform/win32.h"

// 1 when something, a directory included, exists at path.
BOOL FileExists(const char *path);

// Writes the extension of the path's file name (the text after its last dot,
// without the dot) into dest, a buffer of at least PATH_BUFFER_SIZE bytes; the
// empty text when the file name has no dot. Dots in directory names are not
// looked at.
void GetExtension(const char *path, char *dest);

// Writes source with its file name's extension replaced by extension (no
// leading dot; empty removes the extension and its dot) into dest of destSize
// bytes. A file name without a dot gets the extension appended. Returns 1 when
// the whole result fit; 0 when it did not, and then dest holds the empty text.
BOOL ReplaceExtension(const char *source, char *dest, DWORD destSize, const char *extension);

#endif
