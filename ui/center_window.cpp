#include "ui/center_window.h"

void CenterWindow(HWND parent, HWND window)
{
    if (parent == NULL)
        parent = GetDesktopWindow();
    RECT outer, inner;
    GetWindowRect(parent, &outer);
    GetWindowRect(window, &inner);
    OffsetRect(&inner, -inner.left, -inner.top);
    int x = outer.left + (outer.right - outer.left) / 2 - inner.right / 2;
    int y = outer.top + (outer.bottom - outer.top) / 2 - inner.bottom / 2;
    SetWindowPos(window, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
