// What the program tells the system about how it will read a file, so that
// the system can bring the bytes in from the disk ahead of the reads.
#ifndef ZORVIK_PLATFORM_ADVICE_H
#define ZORVIK_PLATFORM_ADVICE_H

#include <stdint.h>

#include "win32.h"

// Asks the system to start reading size bytes of file (opened with
// FILE_FLAG_SEQUENTIAL_SCAN) from offset on into its cache, in one stretch,
// as they will be read soon; where the system reads that far ahead by itself,
// it asks nothing, as the hint would cut that shorter. So two files read side
// by side come from a disk in long stretches of each, rather than a seek
// between them every few hundred KiB. Only a hint: bytes past the file's end
// are left alone, nothing is reported, and the reads that follow give the
// same bytes whether it was taken or not. On Windows it does nothing: a file
// opened with FILE_FLAG_SEQUENTIAL_SCAN is read ahead in large pieces by the
// system's own cache.
void AdviseWillRead(HANDLE file, uint64_t offset, uint64_t size);

// Asks the system to start reading size bytes of file from offset on into
// its cache, as they will soon be written over in places: a write of part of
// a page the cache does not hold makes the system read that page first, on
// its own, a few KiB at a time and with a wait for each. Unlike
// AdviseWillRead it asks whatever the disk reads ahead by itself, as the
// system reads ahead for reads, not for writes. Only a hint, as above. On
// Windows it does nothing.
void AdviseWillChange(HANDLE file, uint64_t offset, uint64_t size);

#endif
