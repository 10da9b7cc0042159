#include "ui/main_dialog.h"

#include <commctrl.h>
#include <shellapi.h>
#include <string.h>

#include "jobs/apply_job.h"
#include "jobs/create_job.h"
#include "notify/notifications.h"
#include "jobs/paths.h"
#include "settings/settings.h"
#include "ui/browse.h"
#include "ui/message_box.h"
#include "ui/resource.h"
#include "ui/version_dialog.h"

#define PROGRESS_MAX 100

// What the dialog remembers. Only the dialog's thread touches it; a job only
// ever sends messages.
struct MainDialogState {
    JobRequest *request;  // start-up's, for the dialog's whole life
    int mode;             // MODE_APPLY or MODE_CREATE, also the mode list's index
    HANDLE job;           // the running job's thread: set exactly while a job runs
};

static MainDialogState state;

struct ModeTexts {
    const char *name;         // entry of the mode list
    const char *firstLabel;   // IDC_FIRST_LABEL
    const char *secondLabel;  // IDC_SECOND_LABEL
    const char *start;        // caption of IDOK
};

static const ModeTexts kModes[MODE_COUNT] = {
    {"IPSﾊﾟｯﾁ", "IPSﾌｧｲﾙ", "ﾊﾟｯﾁするﾌｧｲﾙ", "適用(&P)"},
    {"IPSﾌｧｲﾙ作成", "変更前のﾌｧｲﾙ", "変更後のﾌｧｲﾙ", "作成(&C)"},
};

static const int kInputs[] = {
    IDC_MODE,         IDOK,           IDC_FIRST_PATH,  IDC_SECOND_PATH,  IDC_FIRST_BROWSE,
    IDC_SECOND_BROWSE, IDC_MODE_LABEL, IDC_FIRST_LABEL, IDC_SECOND_LABEL, IDC_PARAM_GROUP,
};

void SetMode(HWND dlg, int mode)
{
    SendDlgItemMessageA(dlg, IDC_MODE, CB_SETCURSEL, mode, 0);
    SetDlgItemTextA(dlg, IDC_FIRST_LABEL, kModes[mode].firstLabel);
    SetDlgItemTextA(dlg, IDC_SECOND_LABEL, kModes[mode].secondLabel);
    SetDlgItemTextA(dlg, IDOK, kModes[mode].start);
    SetDlgItemTextA(dlg, IDC_FIRST_PATH, "");
    SetDlgItemTextA(dlg, IDC_SECOND_PATH, "");
    SendDlgItemMessageA(dlg, IDC_FIRST_PATH, EM_LIMITTEXT, PATH_BUFFER_SIZE, 0);
    SendDlgItemMessageA(dlg, IDC_SECOND_PATH, EM_LIMITTEXT, PATH_BUFFER_SIZE, 0);
}

void SetInputsEnabled(HWND dlg, BOOL enable)
{
    for (int id : kInputs)
        EnableWindow(GetDlgItem(dlg, id), enable);
}

void ResetAfterJob(HWND dlg)
{
    SetInputsEnabled(dlg, TRUE);
    SendDlgItemMessageA(dlg, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    SetDlgItemTextA(dlg, IDC_STATUS, "");
}

void SetMenuCheck(HWND dlg, UINT command, BOOL check)
{
    MENUITEMINFOA item;
    ZeroMemory(&item, sizeof item);
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    item.fState = check ? MFS_CHECKED : 0;
    SetMenuItemInfoA(GetMenu(dlg), command, FALSE, &item);
}

BOOL QuitIfIdle(HANDLE job, HWND dlg, INT_PTR result)
{
    if (job != NULL)
        return FALSE;
    PostQuitMessage(0);
    EndDialog(dlg, result);
    return TRUE;
}

static HINSTANCE DialogModule(HWND dlg)
{
    return (HINSTANCE)GetWindowLongPtrA(dlg, GWLP_HINSTANCE);
}

static void SwitchMode(HWND dlg, int mode)
{
    state.mode = mode;
    SetMode(dlg, mode);
}

static INT_PTR OnInitDialog(HWND dlg, JobRequest *request)
{
    state.request = request;
    state.mode = MODE_APPLY;
    state.job = NULL;

    HICON appIcon = LoadIconA(DialogModule(dlg), "APPICON");
    SendMessageA(dlg, WM_SETICON, ICON_BIG, (LPARAM)appIcon);
    SendMessageA(dlg, WM_SETICON, ICON_SMALL, (LPARAM)appIcon);
    HICON browseIcon = LoadIconA(DialogModule(dlg), "BROWSEICON");
    SendDlgItemMessageA(dlg, IDC_FIRST_BROWSE, BM_SETIMAGE, IMAGE_ICON, (LPARAM)browseIcon);
    SendDlgItemMessageA(dlg, IDC_SECOND_BROWSE, BM_SETIMAGE, IMAGE_ICON, (LPARAM)browseIcon);
    for (const ModeTexts &mode : kModes)
        SendDlgItemMessageA(dlg, IDC_MODE, CB_ADDSTRING, 0, (LPARAM)mode.name);
    SendDlgItemMessageA(dlg, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, PROGRESS_MAX));
    SetMode(dlg, state.mode);
    if (ProcessSettings()->alwaysOnTop)
        SetWindowPos(dlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowTextA(dlg, MAIN_DIALOG_TITLE);
    SetDlgItemTextA(dlg, IDC_FIRST_PATH, request->firstPath);
    return TRUE;  // the focus goes to the first tab stop, the first path field
}

static void StartJob(HWND dlg)
{
    if (state.job != NULL)
        return;
    JobRequest *request = state.request;
    GetDlgItemTextA(dlg, IDC_FIRST_PATH, request->firstPath, sizeof request->firstPath);
    GetDlgItemTextA(dlg, IDC_SECOND_PATH, request->secondPath, sizeof request->secondPath);
    request->window = dlg;
    if (request->firstPath[0] == '\0' || request->secondPath[0] == '\0')
        return;
    // The inputs stay enabled until the job's WM_JOB_STARTED disables them.
    state.job = CreateThread(NULL, 0, state.mode == MODE_APPLY ? ApplyJob : CreateJob, request, 0, NULL);
}

static void OnModeSelected(HWND dlg)
{
    LRESULT selection = SendDlgItemMessageA(dlg, IDC_MODE, CB_GETCURSEL, 0, 0);
    if (selection != CB_ERR)
        SwitchMode(dlg, (int)selection);
}

// Enables the start button exactly when both fields hold text, whether or not
// a job runs: the running-job mark, not the button, keeps a second job out.
static void UpdateStartButton(HWND dlg)
{
    BOOL ready = GetWindowTextLengthA(GetDlgItem(dlg, IDC_FIRST_PATH)) != 0 &&
                 GetWindowTextLengthA(GetDlgItem(dlg, IDC_SECOND_PATH)) != 0;
    HWND start = GetDlgItem(dlg, IDOK);
    if (ready != (IsWindowEnabled(start) != FALSE))
        EnableWindow(start, ready);
}

static void BrowseInto(HWND dlg, int field, char *directory, const char *filter)
{
    char path[PATH_BUFFER_SIZE];
    if (BrowseForFile(directory, path, dlg, filter, sizeof path, NULL))
        SetDlgItemTextA(dlg, field, path);
}

static void ToggleAlwaysOnTop(HWND dlg)
{
    Settings *settings = ProcessSettings();
    settings->alwaysOnTop = settings->alwaysOnTop ? 0 : 1;
    SetWindowPos(dlg, settings->alwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

static INT_PTR OnCommand(HWND dlg, WORD id, WORD code, LPARAM lParam)
{
    Settings *settings = ProcessSettings();
    switch (id) {
    case IDOK:
        StartJob(dlg);
        return TRUE;
    case IDM_MODE_APPLY:
        SwitchMode(dlg, MODE_APPLY);
        return TRUE;
    case IDM_MODE_CREATE:
        SwitchMode(dlg, MODE_CREATE);
        return TRUE;
    case IDM_BROWSE_FIRST:
        BrowseInto(dlg, IDC_FIRST_PATH, settings->firstDir[state.mode],
                   state.mode == MODE_APPLY ? kPatchFilter : kAllFilesFilter);
        return TRUE;
    case IDM_BROWSE_SECOND:
        BrowseInto(dlg, IDC_SECOND_PATH, settings->secondDir[state.mode], kAllFilesFilter);
        return TRUE;
    case IDM_EXIT:
        QuitIfIdle(state.job, dlg, 1);
        return TRUE;
    case IDM_ALWAYS_ON_TOP:
        ToggleAlwaysOnTop(dlg);
        return TRUE;
    case IDM_VERSION:
        DialogBoxParamA(DialogModule(dlg), "VERSIONDLG", dlg, VersionDialogProc, (LPARAM)dlg);
        return TRUE;
    case IDC_FIRST_PATH:
    case IDC_SECOND_PATH:
        if (code == EN_UPDATE)
            UpdateStartButton(dlg);
        return TRUE;
    case IDC_FIRST_BROWSE:
        if (code == BN_CLICKED)
            SendMessageA(dlg, WM_COMMAND, IDM_BROWSE_FIRST, lParam);
        return TRUE;
    case IDC_SECOND_BROWSE:
        if (code == BN_CLICKED)
            SendMessageA(dlg, WM_COMMAND, IDM_BROWSE_SECOND, lParam);
        return TRUE;
    case IDC_MODE:
        if (code == CBN_SELCHANGE)
            OnModeSelected(dlg);
        return FALSE;
    }
    // IDCANCEL too: Escape and the close command never end the dialog here.
    return FALSE;
}

static INT_PTR OnSysCommand(HWND dlg, WPARAM command)
{
    if (command == SC_SIZE || command == SC_MAXIMIZE)
        return TRUE;
    if (command == SC_CLOSE)
        QuitIfIdle(state.job, dlg, 1);
    return FALSE;
}

static INT_PTR OnInitMenu(HWND dlg)
{
    SetMenuCheck(dlg, IDM_ALWAYS_ON_TOP, ProcessSettings()->alwaysOnTop != 0);
    return TRUE;
}

static BOOL IsPatchName(const char *path)
{
    char extension[PATH_BUFFER_SIZE] = "";
    GetExtension(path, extension);
    CharLowerA(extension);
    return strcmp(extension, "ips") == 0;
}

static BOOL IsPathField(HWND dlg, HWND window)
{
    return window != NULL &&
           (window == GetDlgItem(dlg, IDC_FIRST_PATH) || window == GetDlgItem(dlg, IDC_SECOND_PATH));
}

// A file dropped on a path field goes there, in either mode and even while the
// field is disabled; elsewhere, in apply mode a patch goes to the first field
// and anything else to the second, and in create mode nothing changes.
static void DropFile(HWND dlg, HDROP drop, UINT index, POINT point)
{
    char path[PATH_BUFFER_SIZE];
    DragQueryFileA(drop, index, path, sizeof path);
    HWND target = ChildWindowFromPoint(dlg, point);
    if (!IsPathField(dlg, target) && state.mode == MODE_APPLY)
        target = GetDlgItem(dlg, IsPatchName(path) ? IDC_FIRST_PATH : IDC_SECOND_PATH);
    if (IsPathField(dlg, target))
        SetWindowTextA(target, path);
    SetFocus(target);
}

static INT_PTR OnDropFiles(HWND dlg, HDROP drop)
{
    POINT point;
    if (DragQueryPoint(drop, &point)) {
        UINT count = DragQueryFileA(drop, 0xFFFFFFFF, NULL, 0);
        for (UINT index = 0; index < count; ++index)
            DropFile(dlg, drop, index, point);
        SetForegroundWindow(dlg);
    }
    DragFinish(drop);
    return TRUE;
}

static INT_PTR OnJobFinished(HWND dlg, BOOL success, const char *text)
{
    if (text != NULL)
        ShowMessage(dlg, text, success ? MESSAGE_INFORMATION : MESSAGE_WARNING);
    // The job's thread is still blocked in this send; it ends by itself once
    // the handler returns, so its handle is only released, never waited for.
    if (state.job != NULL)
        CloseHandle(state.job);
    state.job = NULL;
    ResetAfterJob(dlg);
    return TRUE;
}

static INT_PTR OnJobProgress(HWND dlg, WPARAM percent, const char *status)
{
    SendDlgItemMessageA(dlg, IDC_PROGRESS, PBM_SETPOS, percent, 0);
    if (status != NULL)
        SetDlgItemTextA(dlg, IDC_STATUS, status);
    return TRUE;
}

static INT_PTR OnJobAsk(HWND dlg, int *answer, const char *question)
{
    *answer = 1;
    if (ShowMessage(dlg, question, MESSAGE_QUESTION) == IDNO)
        *answer = 0;
    return TRUE;
}

static INT_PTR OnOpenPatch(HWND dlg, const char *text)
{
    if (text == NULL)
        return TRUE;
    SendMessageA(dlg, WM_COMMAND, IDM_MODE_APPLY, 0);
    SetDlgItemTextA(dlg, IDC_FIRST_PATH, text);
    return TRUE;
}

// The data comes from another process: it is used only when there is some,
// it is ours and it holds its terminator.
static INT_PTR OnCopyData(HWND dlg, const COPYDATASTRUCT *data)
{
    if (data != NULL && data->dwData == OPEN_PATCH_COPYDATA && data->lpData != NULL &&
        memchr(data->lpData, '\0', data->cbData) != NULL)
        OnOpenPatch(dlg, (const char *)data->lpData);
    return TRUE;
}

INT_PTR CALLBACK MainDialogProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dlg, (JobRequest *)lParam);
    case WM_COMMAND:
        return OnCommand(dlg, LOWORD(wParam), HIWORD(wParam), lParam);
    case WM_SYSCOMMAND:
        return OnSysCommand(dlg, wParam);
    case WM_INITMENU:
        return OnInitMenu(dlg);
    case WM_DROPFILES:
        return OnDropFiles(dlg, (HDROP)wParam);
    case WM_COPYDATA:
        return OnCopyData(dlg, (const COPYDATASTRUCT *)lParam);
    case WM_JOB_STARTED:
        SetInputsEnabled(dlg, FALSE);
        return TRUE;
    case WM_JOB_FINISHED:
        return OnJobFinished(dlg, wParam != 0, (const char *)lParam);
    case WM_JOB_PROGRESS:
        return OnJobProgress(dlg, wParam, (const char *)lParam);
    case WM_JOB_ASK:
        return OnJobAsk(dlg, (int *)wParam, (const char *)lParam);
    case WM_OPEN_PATCH:
        return OnOpenPatch(dlg, (const char *)lParam);
    }
    return FALSE;
}
