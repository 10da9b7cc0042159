// The terminal as the command-line tool sees it.
#ifndef ZORVIK_PLATFORM_CONSOLE_H
#define ZORVIK_PLATFORM_CONSOLE_H

#include "win32.h"

#include <stdio.h>

// 1 when stream (stdin, stdout or stderr) is connected to a terminal or console.
BOOL IsTerminal(FILE *stream);

// Reads one line from standard input into line, a buffer of size bytes,
// without its line end (LF or CRLF); a longer line is cut to size - 1 bytes
// and the rest of it is passed over. Returns 0 at the end of input when
// nothing was read.
BOOL ReadInputLine(char *line, DWORD size);

#endif
