#include "engine/create.h"

#include "engine/compare.h"
#include "engine/ips32.h"
#include "engine/shared.h"
#include "engine/smallest.h"

#include <string.h>

static const char kModifiedSmallerText[] =
    "変更後のﾌｧｲﾙのｻｲｽﾞが、変更前のｻｲｽﾞよりも小さいためIPSを作成できません。";
static const char kCannotCreateText[] = "新規ﾌｧｲﾙを作成できません。";
static const char kCreateErrorText[] = "作成中にｴﾗｰが発生しました。";
static const char kCreatedText[] = "IPS32ﾌｧｲﾙ %s を作成しました。";
static const char kCreatingText[] = "作成中...";

static_assert(FitsEngineText(sizeof kModifiedSmallerText) && FitsEngineText(sizeof kCreatedText),
              "ENGINE_TEXT_SIZE is too small");

BOOL LoadWholeFile(const char *path, FileBuffer *buffer)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    SetLastError(ERROR_SUCCESS);
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    BOOL loaded = 0;
    if ((size != INVALID_FILE_SIZE || GetLastError() == ERROR_SUCCESS) && high == 0) {
        buffer->data = (unsigned char *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
        DWORD read = 0;
        loaded = buffer->data != NULL && ReadFile(file, buffer->data, size, &read, NULL);
        buffer->size = read;
        if (!loaded && buffer->data != NULL)
            FreeWholeFile(buffer);
    }
    CloseHandle(file);
    return loaded;
}

void FreeWholeFile(FileBuffer *buffer)
{
    if (buffer->data != NULL)
        HeapFree(GetProcessHeap(), 0, buffer->data);
    buffer->data = NULL;
    buffer->size = 0;
}

BOOL StartPatchOutput(PatchOutput *output, HANDLE file)
{
    output->file = file;
    output->used = 0;
    output->buffer = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, PATCH_OUTPUT_SIZE);
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

static_assert(PATCH_OUTPUT_SIZE >= 6 + IPS32_MAX_RECORD_SIZE, "a record must fit the output buffer");

// Room for size more bytes (at most PATCH_OUTPUT_SIZE) at the end of what is
// gathered, written out first when they would not fit; null when that fails.
static unsigned char *ReserveInPatch(PatchOutput *output, DWORD size)
{
    if (PATCH_OUTPUT_SIZE - output->used < size && !FlushPatchOutput(output))
        return NULL;
    unsigned char *at = output->buffer + output->used;
    output->used += size;
    return at;
}

static void PutBigEndian(unsigned char *dest, DWORD value, int count)
{
    for (int i = count - 1; i >= 0; --i, value >>= 8)
        dest[i] = (unsigned char)value;
}

BOOL AppendDataRecord(PatchOutput *output, DWORD offset, const unsigned char *bytes, DWORD size)
{
    unsigned char *record = ReserveInPatch(output, 6 + size);
    if (record == NULL)
        return 0;
    PutBigEndian(record, offset, 4);
    PutBigEndian(record + 4, size, 2);
    memcpy(record + 6, bytes, size);
    return 1;
}

BOOL AppendRunRecord(PatchOutput *output, DWORD offset, DWORD length, unsigned char value)
{
    unsigned char *record = ReserveInPatch(output, 9);
    if (record == NULL)
        return 0;
    PutBigEndian(record, offset, 4);
    PutBigEndian(record + 4, 0, 2);
    PutBigEndian(record + 6, length, 2);
    record[8] = value;
    return 1;
}

BOOL AppendTerminator(PatchOutput *output)
{
    unsigned char *terminator = ReserveInPatch(output, IPS32_TERMINATOR_SIZE);
    if (terminator != NULL)
        memcpy(terminator, IPS32_TERMINATOR, IPS32_TERMINATOR_SIZE);
    return terminator != NULL;
}

BOOL WritePatchRecord(DWORD offset, DWORD length, const unsigned char *bytes, PatchOutput *output)
{
    if (offset == IPS32_TERMINATOR_OFFSET) {
        // Begin a byte earlier with a data record of the byte before and the
        // first byte: writing that byte before again changes nothing.
        if (!AppendDataRecord(output, offset - 1, bytes - 1, 2))
            return 0;
        return length == 1 || WritePatchRecord(offset + 1, length - 1, bytes + 1, output);
    }
    BOOL runForm = length > 3 && memcmp(bytes, bytes + 1, length - 1) == 0;
    while (length > 0) {
        DWORD piece = length < IPS32_MAX_RECORD_SIZE ? length : IPS32_MAX_RECORD_SIZE;
        // The next piece must not begin at the terminator's offset, so this
        // one ends a byte short and the next begins a byte earlier.
        if (piece < length && offset + piece == IPS32_TERMINATOR_OFFSET)
            --piece;
        BOOL written = runForm ? AppendRunRecord(output, offset, piece, bytes[0])
                               : AppendDataRecord(output, offset, bytes, piece);
        if (!written)
            return 0;
        offset += piece;
        bytes += piece;
        length -= piece;
    }
    return 1;
}

// Writes a record for every run of differing bytes within the original's
// length, then the modified file's tail, as separate calls.
static BOOL WriteDifferences(const FileBuffer &original, const FileBuffer &modified, PatchOutput *output,
                             HWND window, UINT progressMessage)
{
    ProgressThrottle progress = {0, 0};
    DWORD end = original.size;
    DWORD i = 0;
    while ((i = SkipEqual(original.data, modified.data, i, end)) < end) {
        DWORD runEnd = SkipDifferent(original.data, modified.data, i, end);
        // A run that reaches the end of the original sends no progress.
        if (runEnd < end)
            ReportProgress(progress, runEnd, end, kCreatingText, progressMessage, window);
        if (!WritePatchRecord(i, runEnd - i, modified.data + i, output))
            return 0;
        i = runEnd;
    }
    return modified.size == end || WritePatchRecord(end, modified.size - end, modified.data + end, output);
}

// Bytes handed to the smallest writer between two progress reports.
static const DWORD kSmallestPiece = 1u << 20;

// Hands both files to the smallest writer a piece at a time, with progress
// over the modified file's length.
static BOOL WriteSmallestDifferences(const FileBuffer &original, const FileBuffer &modified, PatchOutput *output,
                                     HWND window, UINT progressMessage)
{
    SmallestPatch *smallest = StartSmallestPatch(output, SMALLEST_WINDOW);
    if (smallest == NULL)
        return 0;
    ProgressThrottle progress = {0, 0};
    BOOL written = 1;
    for (DWORD at = 0; written && at < modified.size;) {
        DWORD piece = modified.size - at < kSmallestPiece ? modified.size - at : kSmallestPiece;
        if (at < original.size && original.size - at < piece)
            piece = original.size - at;
        written = at < original.size ? AddSmallestBytes(smallest, original.data + at, modified.data + at, piece)
                                     : AddSmallestTail(smallest, modified.data + at, piece);
        at += piece;
        if (at < modified.size)
            ReportProgress(progress, at, modified.size, kCreatingText, progressMessage, window);
    }
    written = written && EndSmallestPatch(smallest);
    FreeSmallestPatch(smallest);
    return written;
}

typedef BOOL (*DifferenceWriter)(const FileBuffer &original, const FileBuffer &modified, PatchOutput *output,
                                 HWND window, UINT progressMessage);

// Creates the patch file and writes the whole patch into it. Returns null on
// success, else the text of the failure; the file is closed on every path.
static const char *WritePatchFile(DifferenceWriter writer, const FileBuffer &original, const FileBuffer &modified,
                                  const char *patchPath, HWND window, UINT progressMessage, BOOL *patchCreated)
{
    HANDLE file = CreateFileA(patchPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return kCannotCreateText;
    if (patchCreated != NULL)
        *patchCreated = 1;
    PatchOutput output = {file, NULL, 0};
    BOOL written = WritePatchHeader(file) && StartPatchOutput(&output, file) &&
                   writer(original, modified, &output, window, progressMessage) &&
                   AppendTerminator(&output) &&
                   FlushPatchOutput(&output);
    EndPatchOutput(&output);
    if (!CloseHandle(file))
        written = 0;
    return written ? NULL : kCreateErrorText;
}

static BOOL CreateWith(DifferenceWriter writer, const char *originalPath, const char *modifiedPath,
                       const char *patchPath, char *message, DWORD messageSize, HWND window, UINT progressMessage,
                       BOOL *patchCreated)
{
    if (patchCreated != NULL)
        *patchCreated = 0;
    if (originalPath == NULL || modifiedPath == NULL || patchPath == NULL)
        return 0;
    if (window != NULL)
        SendMessageA(window, progressMessage, 0, (LPARAM)kGettingFileInfoText);

    FileBuffer original = {NULL, 0};
    if (!LoadWholeFile(originalPath, &original)) {
        SetEngineText(message, messageSize, kCannotOpenText, originalPath);
        return 0;
    }
    FileBuffer modified = {NULL, 0};
    if (!LoadWholeFile(modifiedPath, &modified)) {
        SetEngineText(message, messageSize, kCannotOpenText, modifiedPath);
        FreeWholeFile(&original);
        return 0;
    }
    const char *failure = original.size > modified.size
                              ? kModifiedSmallerText
                              : WritePatchFile(writer, original, modified, patchPath, window, progressMessage,
                                               patchCreated);
    FreeWholeFile(&original);
    FreeWholeFile(&modified);
    return EndEngineCall(failure, kCreatedText, patchPath, message, messageSize, window, progressMessage);
}

BOOL CreatePatch(const char *originalPath, const char *modifiedPath, const char *patchPath,
                 char *message, DWORD messageSize, HWND window, UINT progressMessage,
                 BOOL *patchCreated)
{
    return CreateWith(WriteDifferences, originalPath, modifiedPath, patchPath, message, messageSize, window,
                      progressMessage, patchCreated);
}

BOOL CreateSmallestPatch(const char *originalPath, const char *modifiedPath, const char *patchPath,
                         char *message, DWORD messageSize, HWND window, UINT progressMessage,
                         BOOL *patchCreated)
{
    return CreateWith(WriteSmallestDifferences, originalPath, modifiedPath, patchPath, message, messageSize,
                      window, progressMessage, patchCreated);
}
