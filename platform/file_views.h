// Whether reading a file through a view (MapViewOfFile) can fail safely.
#ifndef ZORVIK_PLATFORM_FILE_VIEWS_H
#define ZORVIK_PLATFORM_FILE_VIEWS_H

#include "win32.h"

// 1 where a view whose bytes cannot be read (the file cannot be read, or was
// made shorter under it) reads zeros there and fails its UnmapViewOfFile (the
// POSIX layer); 0 where that raises an exception that ends the program
// (Windows: an in-page error, say on a network drive that goes away), so that
// files are read there rather than mapped.
BOOL FileViewsFailSafely(void);

#endif
