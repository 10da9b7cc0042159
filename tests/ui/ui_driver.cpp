#include "ui_driver.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <stdio.h>

bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(10);
    }
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kWaitMs, &result)) {
        ADD_FAILURE() << "message " << message << " to window " << window << " was not handled in time";
        return 0;
    }
    return (LRESULT)result;
}

std::string Text(HWND window)
{
    char text[1024] = "";
    Send(window, WM_GETTEXT, sizeof text, (LPARAM)text);
    return text;
}

std::string ItemText(HWND dlg, int id)
{
    return Text(GetDlgItem(dlg, id));
}

void SetItemText(HWND dlg, int id, const std::string &text)
{
    Send(GetDlgItem(dlg, id), WM_SETTEXT, 0, (LPARAM)text.c_str());
}

void Command(HWND dlg, int id, WORD code)
{
    Send(dlg, WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)GetDlgItem(dlg, id));
}

void PostCommand(HWND dlg, int id, WORD code)
{
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)GetDlgItem(dlg, id));
}

bool ItemEnabled(HWND dlg, int id)
{
    return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE;
}

std::string ClassName(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct OwnedSearch {
    HWND owner;
    HWND found;
};

static BOOL CALLBACK MatchOwned(HWND window, LPARAM param)
{
    OwnedSearch *search = (OwnedSearch *)param;
    if (GetWindow(window, GW_OWNER) == search->owner && IsWindowVisible(window) && ClassName(window) == "#32770") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindOwnedDialog(HWND owner, DWORD timeoutMs)
{
    OwnedSearch search = {owner, NULL};
    WaitUntil([&] {
        EnumWindows(MatchOwned, (LPARAM)&search);
        return search.found != NULL;
    }, timeoutMs);
    return search.found;
}

struct StaticSearch {
    bool icon;
    HWND found;
};

static BOOL CALLBACK MatchStatic(HWND child, LPARAM param)
{
    StaticSearch *search = (StaticSearch *)param;
    if (_stricmp(ClassName(child).c_str(), "Static") != 0)
        return TRUE;
    bool isIcon = (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
    if (isIcon == search->icon && (isIcon || GetWindowTextLengthA(child) > 0)) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

static HWND FindStatic(HWND box, bool icon)
{
    StaticSearch search = {icon, NULL};
    EnumChildWindows(box, MatchStatic, (LPARAM)&search);
    return search.found;
}

std::string BoxText(HWND box)
{
    HWND text = FindStatic(box, false);
    return text != NULL ? Text(text) : std::string();
}

HICON BoxIcon(HWND box)
{
    HWND icon = FindStatic(box, true);
    return icon != NULL ? (HICON)Send(icon, STM_GETICON) : NULL;
}

bool PressButton(HWND box, int button)
{
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(box, button));
    return WaitUntil([&] { return !IsWindow(box); });
}

HWND FocusOf(DWORD thread)
{
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : NULL;
}

HGLOBAL DropFiles(HWND dlg, POINT point, const std::vector<std::string> &files, BOOL nonClient)
{
    size_t listSize = 1;  // the list's closing NUL
    for (const std::string &file : files)
        listSize += file.size() + 1;
    HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + listSize);
    DROPFILES *drop = (DROPFILES *)GlobalLock(block);
    drop->pFiles = sizeof(DROPFILES);
    drop->pt = point;
    drop->fNC = nonClient;
    drop->fWide = FALSE;
    char *list = (char *)(drop + 1);
    for (const std::string &file : files) {
        memcpy(list, file.c_str(), file.size() + 1);
        list += file.size() + 1;
    }
    GlobalUnlock(block);
    Send(dlg, WM_DROPFILES, (WPARAM)block);
    return block;
}

POINT ItemCentre(HWND dlg, int id)
{
    RECT rect;
    GetWindowRect(GetDlgItem(dlg, id), &rect);
    POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    ScreenToClient(dlg, &centre);
    return centre;
}

static bool WriteBitmap(const std::string &path, HDC dc, HBITMAP bitmap, int width, int height)
{
    BITMAPINFOHEADER header;
    ZeroMemory(&header, sizeof header);
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    DWORD rowSize = ((DWORD)width * 3 + 3) & ~3u;
    std::vector<unsigned char> bits(rowSize * height);
    if (!GetDIBits(dc, bitmap, 0, height, bits.data(), (BITMAPINFO *)&header, DIB_RGB_COLORS))
        return false;
    BITMAPFILEHEADER file;
    ZeroMemory(&file, sizeof file);
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + (DWORD)bits.size();
    FILE *out = fopen(path.c_str(), "wb");
    if (out == NULL)
        return false;
    bool written = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&header, sizeof header, 1, out) == 1 &&
                   fwrite(bits.data(), bits.size(), 1, out) == 1;
    return fclose(out) == 0 && written;
}

void SaveScreenshot(HWND window, const std::string &name)
{
    RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Send(window, WM_NULL);
    // Wine hands finished drawing to the X server a moment later.
    Sleep(300);
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    std::string path = std::string(ZORVIK_ARTIFACT_DIR) + "/" + name + ".bmp";
    EXPECT_TRUE(WriteBitmap(path, memory, bitmap, width, height)) << path;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
}
