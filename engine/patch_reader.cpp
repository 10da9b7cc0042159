#include "engine/patch_reader.h"

#include <string.h>

BOOL RefillPatch(PatchReader &patch, DWORD size)
{
    DWORD kept = patch.end - patch.next;
    memmove(patch.chunk, patch.chunk + patch.next, kept);
    patch.next = 0;
    patch.end = kept;
    while (patch.end < size) {
        // size is at most a record, so a whole chunk always fits behind it.
        DWORD got = (DWORD)fread(patch.chunk + patch.end, 1, PATCH_CHUNK_SIZE, patch.file);
        if (got == 0)
            return 0;
        patch.end += got;
    }
    return 1;
}
