#ifndef ZORVIK_ENGINE_APPLY_H
#define ZORVIK_ENGINE_APPLY_H

#include "platform/win32.h"

// A message buffer of this size holds every result text of the engines with a
// path of 259 bytes, in either build's encoding.
#define ENGINE_TEXT_SIZE 512

// Applies the IPS32 patch at patchPath to the file at targetPath in place.
// Returns 1 when the terminator was reached after every record before it was
// written, else 0. Writes one line of result text into message (cut to
// messageSize; nothing when message is null). Sends progressMessage
// notifications to window (nothing when window is null): 0 "getting file
// information" first, throttled steps while records are read, 100 "done" on
// success only. Never deletes anything; closes every file it opened.
BOOL ApplyPatch(const char *targetPath, const char *patchPath, char *message, DWORD messageSize,
                HWND window, UINT progressMessage);

#endif
