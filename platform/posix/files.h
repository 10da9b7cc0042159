// What the file functions of the POSIX layer share with its other parts; not
// part of what callers see.
#ifndef ZORVIK_PLATFORM_POSIX_FILES_H
#define ZORVIK_PLATFORM_POSIX_FILES_H

#include "win32_subset.h"

// The descriptor of an open file's handle; -1 for any other handle.
int FileDescriptor(HANDLE file);

#endif
