// Whether two paths lead to one file, told by the file itself rather than by
// its names.
#ifndef ZORVIK_PLATFORM_FILE_IDENTITY_H
#define ZORVIK_PLATFORM_FILE_IDENTITY_H

#include "win32.h"

// 1 when a and b lead to the same file, whatever the names: the same path, a
// symbolic or hard link, another spelling of the path. Compares the volume and
// the file's index on it (GetFileInformationByHandle). 0 when either path
// leads to nothing that opens as a file; nothing is read or locked.
BOOL SameFile(const char *a, const char *b);

#endif
