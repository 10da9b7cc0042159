#include "ui/version_dialog.h"

#include "ui/center_window.h"
#include "ui/resource.h"
#include "version.h"

#define VERSION_LINE_SIZE 100

static INT_PTR OnInitVersionDialog(HWND dlg, HWND parent)
{
    CenterWindow(parent, dlg);
    char line[VERSION_LINE_SIZE];
    wsprintfA(line, ZORVIK_VERSION_FORMAT, ZORVIK_VERSION_MAJOR, ZORVIK_VERSION_MINOR);
    SetDlgItemTextA(dlg, IDC_VERSION_TEXT, line);
    return TRUE;
}

INT_PTR CALLBACK VersionDialogProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitVersionDialog(dlg, (HWND)lParam);
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK)
            return FALSE;
        EndDialog(dlg, 1);
        return TRUE;
    }
    return FALSE;
}
