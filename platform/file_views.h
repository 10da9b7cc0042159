// Whether reading a file through a view (MapViewOfFile) can fail safely, and
// bringing a view's bytes in ahead of reading them.
#ifndef ZORVIK_PLATFORM_FILE_VIEWS_H
#define ZORVIK_PLATFORM_FILE_VIEWS_H

#include "win32.h"

// 1 where a view whose bytes cannot be read (the file cannot be read, or was
// made shorter under it) reads zeros there and fails its UnmapViewOfFile (the
// POSIX layer); 0 where that raises an exception that ends the program
// (Windows: an in-page error, say on a network drive that goes away), so that
// files are read there rather than mapped.
BOOL FileViewsFailSafely(void);

// Brings the bytes of a view (bytes long, from MapViewOfFile) into memory and
// maps them, so that reading them later takes no page fault: the POSIX layer
// has the system map them all in one call; Windows reads a byte of each page.
// A page that cannot be read is left to the reads of the view, which fail as
// above.
void PrefaultView(const void *view, size_t bytes);

#endif
