// The main dialog MAINWNDDLG: mode, path fields, the job it runs, its menu.
#ifndef ZORVIK_UI_MAIN_DIALOG_H
#define ZORVIK_UI_MAIN_DIALOG_H

#include <windows.h>

// The title the dialog gives itself, by which a second instance finds it
// (together with the system dialog class), and the caption of every box.
#define MAIN_DIALOG_TITLE "Zorvik"
#define MAIN_DIALOG_CLASS "#32770"

// A second instance hands its command-line tail over as WM_COPYDATA with this
// dwData and the NUL-terminated text as the data; the dialog treats it as
// WM_OPEN_PATCH with that text.
#define OPEN_PATCH_COPYDATA WM_OPEN_PATCH

// Dialog procedure of MAINWNDDLG. The initialization parameter is the
// program's one JobRequest: its first path is shown in the first field, and
// the dialog refills it and starts a job on it at each start command. Uses
// ProcessSettings() for the browse directories and always-on-top. Runs until
// QuitIfIdle ends it; never while a job runs.
INT_PTR CALLBACK MainDialogProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam);

// Selects mode (MODE_APPLY or MODE_CREATE) in the mode list, sets the labels
// and the start button's caption for it, empties both path fields and limits
// them to PATH_BUFFER_SIZE characters.
void SetMode(HWND dlg, int mode);

// Enables or disables the inputs: the mode list, the start button, both path
// fields and browse buttons, their labels and the group box. The progress bar,
// the status line and the menu are left alone.
void SetInputsEnabled(HWND dlg, BOOL enable);

// Back to idle after a job: inputs enabled, progress 0, status line empty.
void ResetAfterJob(HWND dlg);

// Sets the check mark of the menu item with the command id (its whole state:
// the item stays enabled).
void SetMenuCheck(HWND dlg, UINT command, BOOL check);

// Ends the dialog with result and posts the quit message, unless job (the
// running-job mark) is set. Returns 1 when it ended the dialog.
BOOL QuitIfIdle(HANDLE job, HWND dlg, INT_PTR result);

#endif
