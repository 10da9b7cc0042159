#include "fuzz_support.h"

#include "notify/notifications.h"
#include "recording_window.h"

#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace fs = std::filesystem;

static int notifications;

void Finding(const char *what)
{
    fprintf(stderr, "fuzz finding: %s\n", what);
    abort();
}

static LRESULT CALLBACK CheckProgress(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_JOB_PROGRESS)
        return DefWindowProcA(window, message, wParam, lParam);
    ++notifications;
    if (wParam > 100)
        Finding("progress above 100");
    if (lParam == 0)
        Finding("progress without a status text");
    return 0;
}

HWND ProgressWindow()
{
    static HWND window = MessageWindow("ZorvikFuzzProgress", CheckProgress);
    return window;
}

void CheckTextAndProgress(const TextBuffer &buffer)
{
    if (memchr(buffer.text, 0, ENGINE_TEXT_SIZE) == NULL || (unsigned char)buffer.text[ENGINE_TEXT_SIZE] != 0xCC)
        Finding("text not terminated within its buffer");
    if (notifications > 22)
        Finding("more notifications than the throttle lets through");
    notifications = 0;
}

fs::path MakeScratchDir()
{
    std::string pattern = (fs::temp_directory_path() / "zorvik-fuzz-XXXXXX").string();
    if (mkdtemp(&pattern[0]) == NULL)
        Finding("cannot make a directory");
    return pattern;
}
