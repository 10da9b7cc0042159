// The output of the job that this process runs, at most one at a time. It is
// made as a new file under a temporary name in the folder of its final name
// and takes that name in one step once it is whole, so that the final name
// never holds anything but the older file or the whole new one. A process
// killed outright leaves at most the temporary file, ".NAME.zorvik-XXXXXX"
// (".zorvik-XXXXXX" where that would be too long a path).
#ifndef ZORVIK_PLATFORM_OUTPUT_H
#define ZORVIK_PLATFORM_OUTPUT_H

#include "win32.h"

// Begins the output whose final name is path: a new file under a temporary
// name beside it, made only where nothing is (so never through a link) and
// shared with no one. In the POSIX layer it takes the permission bits of the
// file at modeSource under the umask (a private input gives a private
// output). Refused with ERROR_BAD_FILE_TYPE when path leads to something that
// is not a file (a folder, a FIFO, a device, a link to one of them), and with
// ERROR_ACCESS_DENIED when path is a read-only file unless overReadOnly.
// Returns the file, open for reading and writing, which stays the output's
// until EndOutput; INVALID_HANDLE_VALUE with the last error set otherwise.
HANDLE BeginOutput(const char *path, const char *modeSource, BOOL overReadOnly);

// What CopyIntoOutput did.
enum CopyOutcome {
    kCopied,
    kNotCopied,      // source did not open as a file, or a read or a write failed
    kSourceChanged,  // source was written to while it was read
};

// Copies the file at source into output (from BeginOutput, still empty),
// sharing source with readers only while it is read.
CopyOutcome CopyIntoOutput(HANDLE output, const char *source);

// Ends the output in progress. With keep, it is flushed to disk and renamed
// over its final name in one step (an older file there replaced, its
// read-only mark lifted when overReadOnly was given); without keep, or when
// any of that fails, it is removed and the final name keeps what it had.
// Returns 1 when the output took its final name; the last error tells why
// not. Does nothing and returns 0 when no output is in progress.
BOOL EndOutput(BOOL keep);

// Has the output in progress removed when the process is stopped: by SIGINT,
// SIGTERM, SIGHUP or SIGQUIT, after which the process ends by that signal
// (exit status 128 + its number; a signal ignored from the start stays
// ignored); in the Windows console by Ctrl+C, Ctrl+Break or its closing, with
// exit code 1. SIGPIPE and SIGXFSZ are ignored, so that a closed pipe or a
// file size limit is a failed write that the job reports and cleans up after.
void RemoveOutputOnStop(void);

#endif
