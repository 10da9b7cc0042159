// Paths beside the running program, such as its settings file.
#ifndef ZORVIK_PLATFORM_EXE_DIR_H
#define ZORVIK_PLATFORM_EXE_DIR_H

#include "win32.h"

// Writes the directory of the running program followed by fileName (null for
// none) into dest of destSize bytes, cut to destSize - 1 characters. Returns
// the number of characters stored; 0 when dest is null.
DWORD BuildExeDirPath(char *dest, DWORD destSize, const char *fileName);

#endif
