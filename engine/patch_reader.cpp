#include "engine/patch_reader.h"

#include <string.h>

BOOL RefillPatch(PatchReader &patch, DWORD size)
{
    DWORD kept = patch.end - patch.next;
    memmove(patch.chunk, patch.chunk + patch.next, kept);
    patch.next = 0;
    patch.end = kept;
    while (patch.end < size) {
        DWORD got = (DWORD)fread(patch.chunk + patch.end, 1, PATCH_CHUNK_SIZE - patch.end, patch.file);
        if (got == 0)
            return 0;
        patch.end += got;
    }
    return 1;
}
