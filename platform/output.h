// The output file of the job that this process runs, at most one at a time.
// Its path is known while it is in progress, so that a front end can have it
// removed when the process is stopped (RemoveOutputOnStop); the dialog program
// does not ask for that, and there these calls only hold the file.
#ifndef ZORVIK_PLATFORM_OUTPUT_H
#define ZORVIK_PLATFORM_OUTPUT_H

#include "win32.h"

// Names path as the output in progress, a file that an engine makes and
// writes itself.
void MarkOutput(const char *path);

// Copies the file at source to a new file at path and holds that as the
// output in progress: made only where nothing is, so never through a link, and
// shared with no one from its making until EndOutput. Meanwhile OpenStream of
// this path (the same text) gives a stream on this very file. With replace,
// an older file at path is deleted first (its read-only mark lifted; a link
// itself, not what it leads to), once source has opened. source is shared
// with readers only while it is read. Returns 0, with nothing in progress,
// when source does not open as a file, path cannot be made, or a read or a
// write fails.
BOOL CopyToNewOutput(const char *source, const char *path, BOOL replace);

// Ends the output in progress: keeps it, or when keep is 0 removes it; a held
// one is removed before it is let go, so that no file that took its name
// meanwhile is removed instead. Does nothing when no output is in progress.
// After a stop that could not remove the output at once (an engine held it
// without sharing; Windows), removes it whatever keep says and ends the
// process.
void EndOutput(BOOL keep);

// For OpenStream: a new handle on the held output when path is its path,
// else INVALID_HANDLE_VALUE.
HANDLE DuplicateHeldOutput(const char *path);

// Has the output in progress removed when the process is stopped: by SIGINT,
// SIGTERM or SIGHUP, after which the process ends by that signal (exit status
// 128 + its number; a signal ignored from the start stays ignored); in the
// Windows console by Ctrl+C, Ctrl+Break or its closing, with exit code 1.
void RemoveOutputOnStop(void);

#endif
