// Drives real dialogs from the test thread through window messages, as a user
// would through the mouse and keyboard. Every wait has a time limit, so that a
// dialog that does not react fails its test instead of blocking the run.
#ifndef ZORVIK_TESTS_UI_UI_DRIVER_H
#define ZORVIK_TESTS_UI_UI_DRIVER_H

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "ui/main_dialog.h"

// Long enough for a cold start of a Wine process.
const DWORD kWaitMs = 10000;

inline bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs = kWaitMs)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(10))
        if (GetTickCount() - start > timeoutMs)
            return false;
    return true;
}

// SendMessageA that works across processes; a window that does not answer
// within kWaitMs fails the test and gives 0.
inline LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kWaitMs, &result))
        return (LRESULT)result;
    ADD_FAILURE() << "message " << message << " to window " << window << " was not handled in time";
    return 0;
}

inline std::string Text(HWND window)
{
    char text[1024] = "";
    Send(window, WM_GETTEXT, sizeof text, (LPARAM)text);
    return text;
}
inline std::string ItemText(HWND dlg, int id) { return Text(GetDlgItem(dlg, id)); }
inline void SetItemText(HWND dlg, int id, const std::string &text)
{
    Send(GetDlgItem(dlg, id), WM_SETTEXT, 0, (LPARAM)text.c_str());
}
inline void Command(HWND dlg, int id, WORD code = 0)
{
    Send(dlg, WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)GetDlgItem(dlg, id));
}

// The first visible top-level dialog-class window that owner owns (and that
// belongs to process, unless that is 0), once one shows; null after timeoutMs.
inline HWND FindDialog(HWND owner, DWORD timeoutMs = kWaitMs, DWORD process = 0)
{
    HWND found = NULL;
    WaitUntil([&] {
        DWORD foundProcess = 0;
        while ((found = FindWindowExA(NULL, found, MAIN_DIALOG_CLASS, NULL)) != NULL)
            if (GetWindow(found, GW_OWNER) == owner && IsWindowVisible(found) &&
                (process == 0 || (GetWindowThreadProcessId(found, &foundProcess) && foundProcess == process)))
                return true;
        return false;
    }, timeoutMs);
    return found;
}

// A message box's first static control that shows an icon, or else a text.
// The icon equals LoadIcon(NULL, IDI_...) while the box belongs to this process.
inline HWND BoxStatic(HWND box, bool icon)
{
    HWND child = NULL;
    while ((child = FindWindowExA(box, child, "Static", NULL)) != NULL) {
        bool isIcon = (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
        if (isIcon == icon && (icon || GetWindowTextLengthA(child) > 0))
            return child;
    }
    return NULL;
}
inline std::string BoxText(HWND box) { return Text(BoxStatic(box, false)); }
inline HICON BoxIcon(HWND box) { return (HICON)Send(BoxStatic(box, true), STM_GETICON); }
inline bool PressButton(HWND box, int button, DWORD timeoutMs = kWaitMs)
{
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(box, button));
    return WaitUntil([&] { return !IsWindow(box); }, timeoutMs);
}

// Sends WM_DROPFILES as the shell would: files dropped on the centre of control
// id, or outside the client area when nonClient. True when the block was released.
inline bool DropFiles(HWND dlg, int id, const std::vector<std::string> &files, BOOL nonClient = FALSE)
{
    RECT rect;
    GetWindowRect(GetDlgItem(dlg, id), &rect);
    DROPFILES drop = {sizeof drop, {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}, nonClient, FALSE};
    ScreenToClient(dlg, &drop.pt);
    std::string list((const char *)&drop, sizeof drop);
    for (const std::string &file : files)
        list += file + '\0';
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, list.size() + 1);
    memcpy(GlobalLock(block), list.c_str(), list.size() + 1);  // with the NUL that closes the list
    GlobalUnlock(block);
    Send(dlg, WM_DROPFILES, (WPARAM)block);
    return GlobalSize(block) == 0;
}

// Writes what the screen shows of window to <artifact dir>/<name>.bmp.
inline void SaveScreenshot(HWND window, const std::string &name)
{
    RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Send(window, WM_NULL);
    // Wine hands finished drawing to the X server a moment later.
    Sleep(300);
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    BITMAPINFOHEADER header = {sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    DWORD size = (((DWORD)width * 3 + 3) & ~3u) * height, offset = sizeof(BITMAPFILEHEADER) + sizeof header;
    BITMAPFILEHEADER file = {0x4D42 /* "BM" */, offset + size, 0, 0, offset};
    void *bits = NULL;
    HDC screen = GetDC(NULL), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, (BITMAPINFO *)&header, DIB_RGB_COLORS, &bits, NULL, 0);
    SelectObject(memory, bitmap);
    std::string path = std::string(ZORVIK_ARTIFACT_DIR) + "/" + name + ".bmp";
    std::ofstream out(path, std::ios::binary);
    if (bitmap != NULL && BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) && GdiFlush())
        out.write((char *)&file, sizeof file).write((char *)&header, sizeof header).write((char *)bits, size);
    EXPECT_TRUE(out.flush() && out.tellp() == std::streampos(offset + size)) << path;
    DeleteDC(memory);
    DeleteObject(bitmap);
    ReleaseDC(NULL, screen);
}

#endif
