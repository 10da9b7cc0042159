// Whether two paths lead to one file, told by the file itself rather than by
// its names, and whether an open file changed while it was read.
#ifndef ZORVIK_PLATFORM_FILE_IDENTITY_H
#define ZORVIK_PLATFORM_FILE_IDENTITY_H

#include "win32.h"

#include <stdint.h>

// 1 when a and b lead to the same file, whatever the names: the same path, a
// symbolic or hard link, another spelling of the path. Compares the volume and
// the file's index on it (GetFileInformationByHandle). 0 when either path
// leads to nothing that opens as a file, or the volume gives no identity (a
// zero serial or index); nothing is read or locked.
BOOL SameFile(const char *a, const char *b);

// What tells an open file's content apart from what it was: its size and the
// times of its last write and of its last change (which a write also moves,
// even one that puts the old write time back).
struct FileStamp {
    int64_t size;
    int64_t written;
    int64_t changed;
};

// The stamp of the open file (any access); 0 when it cannot be taken.
BOOL TakeFileStamp(HANDLE file, FileStamp *stamp);

inline bool SameStamp(const FileStamp &a, const FileStamp &b)
{
    return a.size == b.size && a.written == b.written && a.changed == b.changed;
}

#endif
