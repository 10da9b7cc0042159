#include "errors.h"

#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>

// Linux's number, for C libraries whose headers lack the name (emscripten's);
// a system that does not know the advice ignores it.
#ifndef MADV_POPULATE_WRITE
#  define MADV_POPULATE_WRITE 23
#endif

// Any non-null value will do: there is one heap, the C library's.
static char processHeap;

HANDLE GetProcessHeap(void)
{
    return &processHeap;
}

LPVOID HeapAlloc(HANDLE heap, DWORD flags, size_t bytes)
{
    (void)heap;
    // A zero-byte block is a valid, distinct block on Windows too.
    size_t size = bytes == 0 ? 1 : bytes;
    void *block = (flags & HEAP_ZERO_MEMORY) ? calloc(1, size) : malloc(size);
    if (block == NULL)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block)
{
    (void)heap;
    (void)flags;
    free(block);
    return TRUE;
}

// Blocks begin on a 2 MiB boundary and are marked for transparent huge pages,
// so that a block of several MiB costs a fault per 2 MiB it uses rather than
// one per 4 KiB page. As on Windows, a page comes in when it is first
// touched: the smallest writer uses half of its 29 MiB on scattered changes,
// and filling the rest too cost up to 60 ms a run where this virtual
// machine's host had taken freed memory back. Only what lies past the last
// 2 MiB boundary, which no huge page covers, is filled at once: there, as in
// a reader's own slots (about 1 MiB), each 4 KiB page would cost a fault.
// Where the mapping began and its length are kept in the page before the
// block.
static const size_t kHugePage = (size_t)2 << 20;
static const size_t kHeaderPage = 4096;

struct Mapping {
    void *start;
    size_t length;
};

LPVOID VirtualAlloc(LPVOID address, size_t bytes, DWORD allocationType, DWORD protection)
{
    if (address != NULL || bytes == 0 || allocationType != (MEM_COMMIT | MEM_RESERVE) || protection != PAGE_READWRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    const size_t length = bytes + kHeaderPage + kHugePage;
    if (length < bytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    void *start = mmap(NULL, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    const uintptr_t block = ((uintptr_t)start + kHeaderPage + kHugePage - 1) & ~(uintptr_t)(kHugePage - 1);
    Mapping *mapping = (Mapping *)(block - sizeof(Mapping));
    mapping->start = start;
    mapping->length = length;
    // Hints, and the block works without them: huge pages where the kernel
    // offers them, and the pages past the last of them faulted in by one
    // call (kernels before 5.14 do not know the second).
    madvise((void *)block, bytes, MADV_HUGEPAGE);
    const size_t huge = bytes & ~(kHugePage - 1);
    if (bytes > huge)
        madvise((void *)(block + huge), bytes - huge, MADV_POPULATE_WRITE);
    return (LPVOID)block;
}

BOOL VirtualFree(LPVOID address, size_t bytes, DWORD freeType)
{
    if (address == NULL || bytes != 0 || freeType != MEM_RELEASE)
        return FailWith(ERROR_INVALID_PARAMETER);
    const Mapping *mapping = (const Mapping *)((uintptr_t)address - sizeof(Mapping));
    return munmap(mapping->start, mapping->length) == 0 ? TRUE : FailFromErrno();
}
