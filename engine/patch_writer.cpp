#include "engine/patch_writer.h"

#include "engine/ips32.h"

#include <string.h>

static_assert(PATCH_OUTPUT_SIZE >= 6 + IPS32_MAX_RECORD_SIZE, "a record must fit the output buffer");

BOOL StartPatchOutput(PatchOutput *output, HANDLE file, DWORD terminatorOffset)
{
    output->file = file;
    output->used = IPS32_MAGIC_SIZE;
    output->terminatorOffset = terminatorOffset;
    output->buffer = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, PATCH_OUTPUT_SIZE);
    if (output->buffer != NULL)
        memcpy(output->buffer, IPS32_MAGIC, IPS32_MAGIC_SIZE);
    return output->buffer != NULL;
}

BOOL FlushPatchOutput(PatchOutput *output)
{
    DWORD written = 0;
    BOOL ok = output->used == 0 ||
              (WriteFile(output->file, output->buffer, output->used, &written, NULL) && written == output->used);
    output->used = 0;
    return ok;
}

void EndPatchOutput(PatchOutput *output)
{
    if (output->buffer != NULL)
        HeapFree(GetProcessHeap(), 0, output->buffer);
    output->buffer = NULL;
    output->used = 0;
}

BOOL AppendDataRecord(PatchOutput *output, DWORD offset, const unsigned char *bytes, DWORD size)
{
    unsigned char *record = ReserveInPatch(output, 6 + size);
    if (record == NULL)
        return 0;
    PutDataRecord(record, offset, bytes, size);
    return 1;
}

BOOL AppendRunRecord(PatchOutput *output, DWORD offset, DWORD length, unsigned char value)
{
    unsigned char *record = ReserveInPatch(output, 9);
    if (record == NULL)
        return 0;
    PutRunRecord(record, offset, length, value);
    return 1;
}

BOOL AppendTerminator(PatchOutput *output)
{
    unsigned char *terminator = ReserveInPatch(output, IPS32_TERMINATOR_SIZE);
    if (terminator != NULL)
        memcpy(terminator, IPS32_TERMINATOR, IPS32_TERMINATOR_SIZE);
    return terminator != NULL;
}
