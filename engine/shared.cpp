#include "engine/shared.h"

#include "notify/notifications.h"
#include "platform/path_rules.h"

#include <limits.h>

void SetEngineText(char *message, DWORD messageSize, const char *format, const char *path)
{
    if (message == NULL || messageSize == 0)
        return;
    // wsprintfA writes at most 1024 bytes and the terminator, whatever the path.
    char text[1025], shown[SHOWN_PATH_SIZE] = "";
    if (path != NULL)
        ShowablePath(path, shown);
    wsprintfA(text, Translated(format), shown);
    lstrcpynA(message, text, messageSize > INT_MAX ? INT_MAX : (int)messageSize);
}

BOOL EndEngineCall(Failure failure, const char *successText, const char *successPath, char *message,
                   DWORD messageSize, HWND window, UINT progressMessage)
{
    if (failure.text != NULL) {
        SetEngineText(message, messageSize, failure.text, failure.path);
        return 0;
    }
    if (window != NULL)
        SendMessageA(window, progressMessage, 100, (LPARAM)Translated(kDoneText));
    SetEngineText(message, messageSize, successText, successPath);
    return 1;
}

void SendPercent(ProgressThrottle &throttle, uint64_t part, uint64_t whole, const char *status, UINT message,
                 HWND window)
{
    SendProgress(Translated(status), message, Percent(part, whole), &throttle.last, window);
    // The first part whose percentage reaches last + 5, in SendProgress's own
    // 32-bit arithmetic.
    throttle.next = ((uint64_t)(DWORD)(throttle.last + 5) * whole + 99) / 100;
}
