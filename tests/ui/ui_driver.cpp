#include "ui_driver.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <fstream>

#include "ui/main_dialog.h"
#include "ui/resource.h"

bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(10)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
    }
    return true;
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

HWND FindDialog(HWND owner, DWORD timeoutMs, DWORD process)
{
    HWND found = NULL;
    WaitUntil([&] {
        while ((found = FindWindowExA(NULL, found, MAIN_DIALOG_CLASS, NULL)) != NULL) {
            DWORD foundProcess = 0;
            GetWindowThreadProcessId(found, &foundProcess);
            if (GetWindow(found, GW_OWNER) == owner && IsWindowVisible(found) &&
                (process == 0 || process == foundProcess))
                return true;
        }
        return false;
    }, timeoutMs);
    return found;
}

HWND BoxStatic(HWND box, bool icon)
{
    for (HWND child = GetWindow(box, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[16] = "";
        GetClassNameA(child, name, sizeof name);
        bool isIcon = (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
        if (_stricmp(name, "Static") == 0 && isIcon == icon && (icon || GetWindowTextLengthA(child) > 0))
            return child;
    }
    return NULL;
}

bool PressButton(HWND box, int button)
{
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(box, button));
    return WaitUntil([&] { return !IsWindow(box); });
}

HWND FocusOf(DWORD thread)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : NULL;
}

bool DropFiles(HWND dlg, int id, const std::vector<std::string> &files, BOOL nonClient)
{
    RECT rect;
    GetWindowRect(GetDlgItem(dlg, id), &rect);
    POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    ScreenToClient(dlg, &centre);
    std::string list;
    for (const std::string &file : files)
        list += file + '\0';
    // GHND zeroes the block, which gives the list its closing NUL and fWide FALSE.
    HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() + 1);
    DROPFILES *drop = (DROPFILES *)GlobalLock(block);
    drop->pFiles = sizeof(DROPFILES);
    drop->pt = centre;
    drop->fNC = nonClient;
    memcpy(drop + 1, list.data(), list.size());
    GlobalUnlock(block);
    Send(dlg, WM_DROPFILES, (WPARAM)block);
    return GlobalSize(block) == 0;
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
    BITMAPINFOHEADER header = {sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    DWORD size = (((DWORD)width * 3 + 3) & ~3u) * height, offset = sizeof(BITMAPFILEHEADER) + sizeof header;
    BITMAPFILEHEADER file = {0x4D42 /* "BM" */, offset + size, 0, 0, offset};
    void *bits = NULL;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
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

static DWORD WINAPI RunDialog(LPVOID param)
{
    DialogRun *run = (DialogRun *)param;
    run->result = DialogBoxParamA(GetModuleHandleA(NULL), "MAINWNDDLG", NULL, MainDialogProc, (LPARAM)&run->request);
    return 0;
}

DialogRun::DialogRun()
{
    thread = CreateThread(NULL, 0, RunDialog, this, 0, &threadId);
    dlg = FindDialog(NULL, kWaitMs, GetCurrentProcessId());
    EXPECT_NE(nullptr, dlg) << "the main dialog did not open";
}

DialogRun::~DialogRun()
{
    // Closes what lies on top until the main dialog lets itself be closed.
    bool ended = dlg != NULL && WaitUntil([&] {
        HWND owned = FindDialog(dlg, 0);
        if (owned == NULL)
            PostMessageA(dlg, WM_COMMAND, IDM_EXIT, 0);
        else  // No to a question, so that its job ends; Cancel or OK to any other box
            for (int button : {IDNO, IDCANCEL, IDOK})
                PostMessageA(owned, WM_COMMAND, button, 0);
        return Ended(100);
    });
    if (!ended) {
        ADD_FAILURE() << "the main dialog could not be closed";
        TerminateThread(thread, 1);
    }
    CloseHandle(thread);
}
