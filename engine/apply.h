#ifndef ZORVIK_ENGINE_APPLY_H
#define ZORVIK_ENGINE_APPLY_H

#include "platform/win32.h"

// A message buffer of this size holds every result text of the engines with a
// path of 259 bytes, in either build's encoding.
#define ENGINE_TEXT_SIZE 512

// Applies the IPS32 patch at patchPath to the open file target in place
// (opened for reading and writing; it stays the caller's), whose name for the
// texts is targetName. Everything else as ApplyPatch; INVALID_HANDLE_VALUE
// for target fails as a target that cannot be opened for writing, once the
// patch has been found to be IPS32. The patch must not change while it is
// read: one written to meanwhile fails with a text that names it.
BOOL ApplyPatchTo(HANDLE target, const char *targetName, const char *patchPath, char *message, DWORD messageSize,
                  HWND window, UINT progressMessage);

// Applies the IPS32 patch at patchPath to the file at targetPath in place,
// each record at exactly its offset (the whole 32-bit range). Returns 1 when
// the terminator was reached after every record before it was written and the
// target was closed, else 0; a failed write or close of the target is a
// failure. Records before a failing one stay applied; bytes of a record that
// the end of the patch cuts short are not written. Writes one line of result
// text into message (cut to messageSize; nothing when message is null). Sends
// progressMessage notifications to window (nothing when window is null): 0
// "getting file information" first, throttled steps while records are read,
// and 100 "done" on success only, once both files are closed. Never deletes
// anything; closes every file it opened. A null path returns 0 at once.
BOOL ApplyPatch(const char *targetPath, const char *patchPath, char *message, DWORD messageSize,
                HWND window, UINT progressMessage);

#endif
