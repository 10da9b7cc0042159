// Drives real dialogs from the test thread through window messages, as a user
// would through the mouse and keyboard. Every wait has a time limit, so that a
// dialog that does not react fails its test instead of blocking the run.
#ifndef ZORVIK_TESTS_UI_UI_DRIVER_H
#define ZORVIK_TESTS_UI_UI_DRIVER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "notify/notifications.h"

// Long enough for a cold start of a Wine process.
const DWORD kWaitMs = 10000;

// Polls condition until it holds (true) or timeoutMs has passed (false).
bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs = kWaitMs);

// SendMessageA that works across processes; a window that does not answer
// within kWaitMs fails the test and gives 0.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

std::string Text(HWND window);
inline std::string ItemText(HWND dlg, int id) { return Text(GetDlgItem(dlg, id)); }
inline void SetItemText(HWND dlg, int id, const std::string &text)
{
    Send(GetDlgItem(dlg, id), WM_SETTEXT, 0, (LPARAM)text.c_str());
}
// WM_COMMAND as the control with that id sends it.
inline void Command(HWND dlg, int id, WORD code = 0)
{
    Send(dlg, WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)GetDlgItem(dlg, id));
}

// The first visible top-level dialog-class window that owner owns (and that
// belongs to process, unless that is 0), once one shows; null after timeoutMs.
HWND FindDialog(HWND owner, DWORD timeoutMs = kWaitMs, DWORD process = 0);

// A message box's first static control that shows an icon, or else a text.
// The icon equals LoadIcon(NULL, IDI_...) while the box belongs to this process.
HWND BoxStatic(HWND box, bool icon);
inline std::string BoxText(HWND box) { return Text(BoxStatic(box, false)); }
inline HICON BoxIcon(HWND box) { return (HICON)Send(BoxStatic(box, true), STM_GETICON); }
// Presses the button of a box or dialog; false when it stays open.
bool PressButton(HWND box, int button);

// The window with the keyboard focus on thread's queue.
HWND FocusOf(DWORD thread);

// Sends WM_DROPFILES as the shell would: files dropped on the centre of control
// id, or outside the client area when nonClient. True when the block was released.
bool DropFiles(HWND dlg, int id, const std::vector<std::string> &files, BOOL nonClient = FALSE);

// Writes what the screen shows of window to <artifact dir>/<name>.bmp.
void SaveScreenshot(HWND window, const std::string &name);

// The real MAINWNDDLG on a thread of its own, run as start-up runs it, with an
// empty JobRequest. Construction waits until it shows (dlg stays null if it
// does not); destruction closes it and what it has open.
struct DialogRun {
    DialogRun();
    ~DialogRun();

    HWND Item(int id) const { return GetDlgItem(dlg, id); }
    // True once DialogBoxParamA has returned, within timeoutMs.
    bool Ended(DWORD timeoutMs) { return WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0; }

    JobRequest request = {};
    HANDLE thread = NULL;
    DWORD threadId = 0;
    HWND dlg = NULL;
    INT_PTR result = 0;
};

#endif
