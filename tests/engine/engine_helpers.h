// Helpers for the engine tests: expected texts, and the engines run over
// files made from bytes.
#ifndef ZORVIK_TESTS_ENGINE_ENGINE_HELPERS_H
#define ZORVIK_TESTS_ENGINE_ENGINE_HELPERS_H

#include "engine/apply.h"
#include "bytes.h"
#include "temp_dir.h"

#include <string>

// format with its "%s" (if any) replaced by path.
std::string Expected(const std::string &format, const std::string &path = "");

struct EngineOutcome {
    BOOL result;
    std::string text;
    Bytes output;  // the patched target, or the created patch
};

// Writes target and patch into dir, applies the patch and reads the target back.
EngineOutcome ApplyBytes(const TempDir &dir, const Bytes &target, const Bytes &patch, HWND window = NULL);

// Writes both files into dir, creates a patch from them and reads it back.
EngineOutcome CreateBytes(const TempDir &dir, const Bytes &original, const Bytes &modified, HWND window = NULL);

#endif
