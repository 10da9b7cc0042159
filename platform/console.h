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

// The system's reason for a failure with the Win32 error code error, as a
// line to show under a message that cannot tell the causes apart (a full
// disk, a missing folder, a refused permission); null where there is none to
// show. The Windows programs show their messages alone: null there.
const char *SystemReason(DWORD error);

#endif
