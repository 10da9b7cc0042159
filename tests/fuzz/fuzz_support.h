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

// A window of this thread, so that a send from here runs its procedure
// directly: it counts WM_JOB_PROGRESS notifications and reports a percentage
// above 100 or a missing status text as a finding.
HWND ProgressWindow();

// A buffer for a result text of ENGINE_TEXT_SIZE bytes, then one guard byte 0xCC.
struct TextBuffer {
    char text[ENGINE_TEXT_SIZE + 1];
    TextBuffer() { memset(text, 0xCC, sizeof text); }
};
// After a call given buffer and ProgressWindow(): a text not terminated within
// its ENGINE_TEXT_SIZE bytes, a changed guard, or more notifications since the
// last check than the throttle lets through (20, the first 0 and the final
// 100) is a finding.
void CheckTextAndProgress(const TextBuffer &buffer);

// A new empty folder in the temporary folder; the caller removes it.
std::filesystem::path MakeScratchDir();

#endif
