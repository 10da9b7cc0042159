#include "fuzz_support.h"

#include "notify/notifications.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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
    static HWND window = NULL;
    if (window == NULL) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = CheckProgress;
        windowClass.lpszClassName = "ZorvikFuzzProgress";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    }
    return window;
}

void CheckNotificationCount()
{
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

bool TextFits(const char *text, size_t size)
{
    return memchr(text, 0, size) != NULL && (unsigned char)text[size] == 0xCC;
}
