#include "engine/patch_reader.h"

#include <string.h>

BOOL RefillPatch(PatchReader &patch, DWORD size)
{
    const DWORD kept = patch.end - patch.next;
    const DWORD start = (DWORD)((patch.position - (uintptr_t)patch.chunk) % PATCH_READER_ALIGNMENT);
    memmove(patch.chunk + start, patch.chunk + patch.next, kept);
    patch.next = start;
    patch.end = start + kept;
    while (patch.end - start < size) {
        // size is at most a record, so a whole chunk always fits behind it.
        DWORD got = (DWORD)fread(patch.chunk + patch.end, 1, PATCH_CHUNK_SIZE, patch.file);
        if (got == 0)
            return 0;
        patch.end += got;
    }
    return 1;
}
