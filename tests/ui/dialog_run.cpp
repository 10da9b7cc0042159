#include "dialog_run.h"

#include <gtest/gtest.h>

#include "ui/main_dialog.h"
#include "ui/resource.h"
#include "ui_driver.h"

DWORD WINAPI DialogRun::Run(LPVOID param)
{
    DialogRun *self = (DialogRun *)param;
    self->result_ = DialogBoxParamA(GetModuleHandleA(NULL), "MAINWNDDLG", NULL, MainDialogProc,
                                    (LPARAM)&self->request_);
    return 0;
}

struct ThreadDialogSearch {
    HWND found;
};

static BOOL CALLBACK MatchMainDialog(HWND window, LPARAM param)
{
    if (IsWindowVisible(window) && ClassName(window) == MAIN_DIALOG_CLASS && Text(window) == MAIN_DIALOG_TITLE) {
        ((ThreadDialogSearch *)param)->found = window;
        return FALSE;
    }
    return TRUE;
}

DialogRun::DialogRun(const std::string &firstPath)
{
    ZeroMemory(&request_, sizeof request_);
    lstrcpynA(request_.firstPath, firstPath.c_str(), sizeof request_.firstPath);
    thread_ = CreateThread(NULL, 0, Run, this, 0, &threadId_);
    ThreadDialogSearch search = {NULL};
    bool shown = WaitUntil([&] {
        EnumThreadWindows(threadId_, MatchMainDialog, (LPARAM)&search);
        return search.found != NULL;
    });
    EXPECT_TRUE(shown) << "the main dialog did not open";
    dlg_ = search.found;
}

bool DialogRun::Ended(DWORD timeoutMs)
{
    return WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0;
}

DialogRun::~DialogRun()
{
    // A running job ends once its questions are answered No; only then does
    // the dialog let itself be closed.
    bool ended = WaitUntil([&] {
        if (!IsWindow(dlg_))
            return Ended(0);
        HWND owned = FindOwnedDialog(dlg_, 0);
        if (owned != NULL) {
            bool isBox = Text(owned) == MAIN_DIALOG_TITLE;
            PostMessageA(owned, WM_COMMAND, isBox ? IDNO : IDCANCEL, 0);
            if (!isBox)
                PostMessageA(owned, WM_COMMAND, IDOK, 0);
            WaitUntil([&] { return !IsWindow(owned); }, 1000);
            return false;
        }
        PostMessageA(dlg_, WM_COMMAND, IDM_EXIT, 0);
        return Ended(100);
    });
    if (!ended) {
        ADD_FAILURE() << "the main dialog could not be closed";
        TerminateThread(thread_, 1);
    }
    CloseHandle(thread_);
}
