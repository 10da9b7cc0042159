#include "notifications.h"

void SendProgress(const char *status, UINT message, DWORD value, DWORD *last, HWND window)
{
    if (window == NULL)
        return;
    if (last != NULL && (DWORD)(*last + 5) > value)
        return;
    SendMessageA(window, message, (WPARAM)value, (LPARAM)status);
    if (last != NULL)
        *last = value;
}
