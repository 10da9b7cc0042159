#include "internal.h"

#include <stdlib.h>

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
