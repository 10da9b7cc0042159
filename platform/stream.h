// Standard-library file streams with 64-bit positions, so that files up to
// 4 GiB and offsets of 2^31 and above work on the 32-bit Windows build too.
#ifndef ZORVIK_PLATFORM_STREAM_H
#define ZORVIK_PLATFORM_STREAM_H

#include <stdint.h>
#include <stdio.h>

#include "win32.h"
#include "file_identity.h"

// fopen by way of CreateFileA, so that a stream follows the platform's rules
// for files in both builds: only what opens as a file (no directory; in the
// POSIX layer no FIFO or device either), for any mode that writes no file
// marked read-only. A stream that writes shares its file with no one.
// Modes: "r", "r+", "w", "w+", each with "b" or not. Returns null on failure.
FILE *OpenStream(const char *path, const char *mode);

// A stream of its own on the open file (a new handle to it, which fclose
// closes; file stays the caller's). mode as for OpenStream, within the access
// file was opened with. Returns null on failure.
FILE *OpenStreamOn(HANDLE file, const char *mode);

// The stamp (platform/file_identity.h) of the file under stream; 0 when it
// cannot be taken.
BOOL TakeStreamStamp(FILE *stream, FileStamp *stamp);

// fseek with a 64-bit offset; returns 0 on success like fseek.
int SeekStream(FILE *stream, int64_t offset, int origin);

// ftell with a 64-bit result; -1 on failure.
int64_t TellStream(FILE *stream);

// The stream's size, leaving it at its start; -1 when it cannot be measured.
int64_t MeasureStream(FILE *stream);

// Positioned access to an unbuffered stream (setvbuf _IONBF) opened on a file:
// one system call each, no seek. The stream's own position is not used, and
// is undefined afterwards.

// Reads up to count bytes from offset into buffer. Returns how many were read,
// fewer than count only at the file's end; -1 when the read fails.
int64_t ReadStreamAt(FILE *stream, void *buffer, uint32_t count, int64_t offset);

// Writes count bytes from buffer at offset (a gap before it reads as zeros).
// Returns 0 when all were written, like fseek; -1 otherwise, with the last
// error set (as ReadStreamAt's failures).
int WriteStreamAt(FILE *stream, const void *buffer, uint32_t count, int64_t offset);

#endif
