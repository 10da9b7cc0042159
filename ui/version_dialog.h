#ifndef ZORVIK_UI_VERSION_DIALOG_H
#define ZORVIK_UI_VERSION_DIALOG_H

#include <windows.h>

// Dialog procedure of VERSIONDLG. The initialization parameter is the window
// to centre the box over (null: the desktop). The box shows the version line
// and closes only with its OK button (Enter, Space, click); Escape does not
// close it.
INT_PTR CALLBACK VersionDialogProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam);

#endif
