// What both fuzz targets share: reporting a finding, a window that checks the
// progress it is sent, and a scratch folder.
#ifndef ZORVIK_TESTS_FUZZ_FUZZ_SUPPORT_H
#define ZORVIK_TESTS_FUZZ_FUZZ_SUPPORT_H

#include "platform/win32.h"
#include "bytes.h"

#include <filesystem>

// Reports what was found and aborts, so that libFuzzer saves the input.
[[noreturn]] void Finding(const char *what);

// A window of this thread, so that a send from here runs its procedure
// directly: it counts WM_JOB_PROGRESS notifications and reports a percentage
// above 100 or a missing status text as a finding.
HWND ProgressWindow();
// Notifications counted since the last call; more than the throttle lets
// through (20, the first 0 and the final 100) is a finding.
void CheckNotificationCount();

// A new empty folder in the temporary folder; the caller removes it.
std::filesystem::path MakeScratchDir();

// Whether text, a buffer of size bytes followed by one guard byte 0xCC, holds
// a terminated text and an untouched guard.
bool TextFits(const char *text, size_t size);

#endif
