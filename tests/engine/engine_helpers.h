// Helpers for the engine tests: the engines run over files made from bytes,
// and their outcome as one value to compare.
#ifndef ZORVIK_TESTS_ENGINE_ENGINE_HELPERS_H
#define ZORVIK_TESTS_ENGINE_ENGINE_HELPERS_H

#include "engine/engine.h"
#include "engine/create.h"
#include "bytes.h"
#include "temp_dir.h"

#include <ostream>
#include <string>

// format with its "%s" (if any) replaced by path.
std::string Expected(const std::string &format, const std::string &path = "");
// A data record of bytes[from, to) at offset from.
Bytes DataOf(const Bytes &bytes, uint32_t from, uint32_t to);
// A data record of the bytes of text.
Bytes Data(uint32_t offset, const std::string &text);

struct EngineOutcome {
    BOOL result;
    std::string text;
    Bytes output;  // the patched target, or the created patch
};
bool operator==(const EngineOutcome &a, const EngineOutcome &b);
void PrintTo(const EngineOutcome &outcome, std::ostream *out);

// Writes "target.bin" and "patch.ips" into dir, applies the patch (with no text
// buffer unless withText) and reads the target back.
EngineOutcome ApplyBytes(const TempDir &dir, const Bytes &target, const Bytes &patch, HWND window = NULL,
                         bool withText = true);
// CreatePatch or CreateSmallestPatch.
typedef BOOL (*PatchCreator)(const char *originalPath, const char *modifiedPath, const char *patchPath,
                             char *message, DWORD messageSize, HWND window, UINT progressMessage,
                             BOOL *patchCreated);

// Writes both files into dir, creates "modified.ips" from them with create, or
// else with the given tuning, and reads it back.
EngineOutcome CreateBytes(const TempDir &dir, const Bytes &original, const Bytes &modified, HWND window = NULL,
                          const CreateTuning &tuning = kCreateTuning, PatchCreator create = NULL);

#endif
