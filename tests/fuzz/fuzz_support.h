// What both fuzz targets share: reporting a finding, a window that checks the
// progress it is sent, a guarded text buffer, and a scratch folder.
#ifndef ZORVIK_TESTS_FUZZ_FUZZ_SUPPORT_H
#define ZORVIK_TESTS_FUZZ_FUZZ_SUPPORT_H

#include "engine/engine.h"
#include "platform/win32.h"
#include "bytes.h"

#include <string.h>

#include <filesystem>

// Reports what was found and aborts, so that libFuzzer saves the input.
[[noreturn]] void Finding(const char *what);

// A window of this thread that counts progress and reports one above 100 or without text.
HWND ProgressWindow();

// A buffer for a result text of ENGINE_TEXT_SIZE bytes, then one guard byte 0xCC.
struct TextBuffer {
    char text[ENGINE_TEXT_SIZE + 1];
    TextBuffer() { memset(text, 0xCC, sizeof text); }
};
// A finding: a text not terminated in buffer, a changed guard, or more progress since the
// last check than the throttle lets through.
void CheckTextAndProgress(const TextBuffer &buffer);

// A new empty folder in the temporary folder; the caller removes it.
std::filesystem::path MakeScratchDir();

#endif
