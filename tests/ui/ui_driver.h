// Drives real dialogs from the test thread through window messages, as a user
// would through the mouse and keyboard. Every wait has a time limit, so that a
// dialog that does not react fails its test instead of blocking the run.
#ifndef ZORVIK_TESTS_UI_UI_DRIVER_H
#define ZORVIK_TESTS_UI_UI_DRIVER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "jobs/notifications.h"

// Long enough for a cold start of a Wine process.
const DWORD kWaitMs = 10000;

// Polls condition until it holds (true) or timeoutMs has passed (false).
bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs = kWaitMs);

// SendMessageA to a window of another thread or process; a window that does
// not answer within kWaitMs fails the test and gives 0.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Texts through WM_GETTEXT and WM_SETTEXT, so that they work across processes.
std::string Text(HWND window);
std::string ItemText(HWND dlg, int id);
void SetItemText(HWND dlg, int id, const std::string &text);

// WM_COMMAND as the control with that id sends it (code in the high word).
void Command(HWND dlg, int id, WORD code = 0);
// The same, posted: for commands whose handler opens a modal window.
void PostCommand(HWND dlg, int id, WORD code = 0);

bool ItemEnabled(HWND dlg, int id);
std::string ClassName(HWND window);

// The visible top-level dialog-class window owned by owner, once one appears;
// null after timeoutMs.
HWND FindOwnedDialog(HWND owner, DWORD timeoutMs = kWaitMs);

// A message box's text and icon (compared against LoadIcon(NULL, IDI_...),
// which works while the box belongs to this process).
std::string BoxText(HWND box);
HICON BoxIcon(HWND box);
// Presses the box's button (IDOK, IDYES, IDNO...) and waits for it to close;
// false when it stays open.
bool PressButton(HWND box, int button);

// The window with the keyboard focus on thread's queue.
HWND FocusOf(DWORD thread);

// Sends WM_DROPFILES with a drop block made here, as the shell would: files
// dropped at point (client coordinates of dlg), outside the client area when
// nonClient. Returns the block's handle, which the dialog must have released.
HGLOBAL DropFiles(HWND dlg, POINT point, const std::vector<std::string> &files, BOOL nonClient = FALSE);

// The centre of control id in dlg's client coordinates.
POINT ItemCentre(HWND dlg, int id);

// Writes what the screen shows of window to <artifact dir>/<name>.bmp.
void SaveScreenshot(HWND window, const std::string &name);

#endif
