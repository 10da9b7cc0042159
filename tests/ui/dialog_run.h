// The real MAINWNDDLG, run in this process on a thread of its own, as
// start-up runs it: DialogBoxParamA with MainDialogProc and a JobRequest.
#ifndef ZORVIK_TESTS_UI_DIALOG_RUN_H
#define ZORVIK_TESTS_UI_DIALOG_RUN_H

#include <windows.h>

#include <string>

#include "jobs/notifications.h"

class DialogRun {
public:
    // Opens the dialog with firstPath as the request's first path and waits
    // until it shows; dlg() is null when it did not.
    explicit DialogRun(const std::string &firstPath = "");
    // Closes what is still open, answering No to any question, then exits.
    ~DialogRun();
    DialogRun(const DialogRun &) = delete;
    DialogRun &operator=(const DialogRun &) = delete;

    HWND dlg() const { return dlg_; }
    DWORD threadId() const { return threadId_; }
    HWND Item(int id) const { return GetDlgItem(dlg_, id); }
    // True once DialogBoxParamA has returned, within timeoutMs.
    bool Ended(DWORD timeoutMs);
    INT_PTR result() const { return result_; }

private:
    static DWORD WINAPI Run(LPVOID self);

    JobRequest request_;
    HANDLE thread_ = NULL;
    DWORD threadId_ = 0;
    HWND dlg_ = NULL;
    INT_PTR result_ = 0;
};

#endif
