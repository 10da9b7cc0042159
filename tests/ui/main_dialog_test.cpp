// The main dialog driven as a user drives it, with the real jobs and the version dialog.
#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include "bytes.h"
#include "notify/notifications.h"
#include "settings/settings.h"
#include "temp_dir.h"
#include "ui/center_window.h"
#include "ui/main_dialog.h"
#include "ui/resource.h"
#include "ui_driver.h"

static const Bytes kPatch = BuildPatch({DataRecord(4, ToBytes("abc")), RunRecord(10, 5, 'z')});

// The real MAINWNDDLG on a thread of its own, with an empty JobRequest and zeroed settings.
class MainDialogTest : public TempDirTest {
protected:
    MainDialogTest() { ZeroMemory(ProcessSettings(), sizeof(Settings)); }

    void SetUp() override
    {
        thread = CreateThread(NULL, 0, RunDialog, NULL, 0, &threadId);
        dlg = FindDialog(NULL, kWaitMs, GetCurrentProcessId());
        ASSERT_NE(nullptr, dlg) << "the main dialog did not open";
    }

    static DWORD WINAPI RunDialog(LPVOID)
    {
        JobRequest request = {};  // empty, for the dialog's whole life
        return (DWORD)DialogBoxParamA(GetModuleHandleA(NULL), "MAINWNDDLG", NULL, MainDialogProc, (LPARAM)&request);
    }

    void TearDown() override
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
        EXPECT_TRUE(ended) << "the main dialog could not be closed";
        if (!ended)
            TerminateThread(thread, 1);
        CloseHandle(thread);
    }

    HWND Item(int id) const { return GetDlgItem(dlg, id); }
    bool Ended(DWORD timeoutMs) { return WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0; }

    HWND Focus() const
    {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : NULL;
    }

    void SelectMode(int mode)
    {
        Send(Item(IDC_MODE), CB_SETCURSEL, mode);
        Command(dlg, IDC_MODE, CBN_SELCHANGE);
    }

    bool InputsEnabled(bool enabled) const
    {
        const int ids[] = {IDC_MODE,          IDOK,           IDC_FIRST_PATH,  IDC_SECOND_PATH,  IDC_FIRST_BROWSE,
                           IDC_SECOND_BROWSE, IDC_MODE_LABEL, IDC_FIRST_LABEL, IDC_SECOND_LABEL, IDC_PARAM_GROUP};
        return std::all_of(ids, ids + 10, [&](int id) { return (IsWindowEnabled(Item(id)) != FALSE) == enabled; });
    }

    HANDLE thread = NULL;
    DWORD threadId = 0;
    HWND dlg = NULL;
};

// Always on top at 5 when the dialog opens, which means on like any value but 0.
struct IdleDialog : MainDialogTest { IdleDialog() { ProcessSettings()->alwaysOnTop = 5; } };

TEST_F(IdleDialog, SwitchesModesWantsBothFieldsAndIgnoresEscapeAndSizing)
{
    // A fixed-size window that takes dropped files, with the focus in its first field.
    EXPECT_EQ(WS_MINIMIZEBOX, GetWindowLongA(dlg, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_NE(0, GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_EQ(Item(IDC_FIRST_PATH), Focus());

    // A setting of 5 starts on top; the toggle stores 0, then 1.
    for (int expected : {5, 0, 1}) {
        SCOPED_TRACE(expected);
        if (expected != 5)
            Command(dlg, IDM_ALWAYS_ON_TOP);
        Send(dlg, WM_INITMENU, (WPARAM)GetMenu(dlg));
        EXPECT_EQ(expected, ProcessSettings()->alwaysOnTop);
        EXPECT_EQ(expected != 0, (GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
        EXPECT_EQ(expected != 0 ? MF_CHECKED : 0u,
                  GetMenuState(GetMenu(dlg), IDM_ALWAYS_ON_TOP, MF_BYCOMMAND) & (MF_CHECKED | MF_GRAYED));
    }

    // Escape, then a key: once the key shows, Escape has been handled.
    for (UINT message : {WM_KEYDOWN, WM_KEYUP})
        PostMessageA(Item(IDC_FIRST_PATH), message, VK_ESCAPE, 0);
    PostMessageA(Item(IDC_FIRST_PATH), WM_CHAR, 'x', 0);
    ASSERT_TRUE(WaitUntil([&] { return ItemText(dlg, IDC_FIRST_PATH) == "x"; }));
    EXPECT_FALSE(Ended(0));
    EXPECT_FALSE(IsWindowEnabled(Item(IDOK)));
    SetItemText(dlg, IDC_SECOND_PATH, "C:\\a.bin");
    EXPECT_TRUE(IsWindowEnabled(Item(IDOK)));
    SaveScreenshot(dlg, "main-dialog-apply");

    SelectMode(MODE_CREATE);
    EXPECT_EQ("", ItemText(dlg, IDC_FIRST_PATH));
    EXPECT_EQ("", ItemText(dlg, IDC_SECOND_PATH));
    EXPECT_EQ("作成(&C)", ItemText(dlg, IDOK));
    EXPECT_FALSE(IsWindowEnabled(Item(IDOK)));
    SetItemText(dlg, IDC_SECOND_PATH, "C:\\new.bin");
    Command(dlg, IDOK, BN_CLICKED);  // as Enter does
    EXPECT_EQ(nullptr, FindDialog(dlg, 500)) << "a job started, and reported the empty field";
    SetItemText(dlg, IDC_FIRST_PATH, "C:\\old.bin");
    EXPECT_TRUE(IsWindowEnabled(Item(IDOK)));
    SaveScreenshot(dlg, "main-dialog-create");

    // Unswallowed, SC_SIZE would enter the sizing loop and time the send out.
    RECT before, after;
    GetWindowRect(dlg, &before);
    Send(dlg, WM_SYSCOMMAND, SC_MAXIMIZE);
    Send(dlg, WM_SYSCOMMAND, SC_SIZE);
    GetWindowRect(dlg, &after);
    EXPECT_TRUE(EqualRect(&before, &after));

    Send(dlg, WM_JOB_PROGRESS, 40, (LPARAM) "abc");
    Send(dlg, WM_JOB_PROGRESS, 60, 0);
    EXPECT_EQ("abc", ItemText(dlg, IDC_STATUS)) << "a progress without a status keeps the status line";
}

struct JobCase {
    const char *name;
    int mode, answer;   // answer: IDYES or IDNO
    LPCSTR resultIcon;  // of the final box, null when none shows; IDI_EXCLAMATION for a broken patch
};

static const JobCase kJobs[] = {
    {"ApplyYes", MODE_APPLY, IDYES, IDI_INFORMATION}, {"ApplyNo", MODE_APPLY, IDNO, NULL},
    {"ApplyFails", MODE_APPLY, IDYES, IDI_EXCLAMATION}, {"CreateYes", MODE_CREATE, IDYES, IDI_INFORMATION},
};

class MainDialogJob : public MainDialogTest, public ::testing::WithParamInterface<JobCase> {};

// The output's name in the question and the final box shows the paths' order.
TEST_P(MainDialogJob, AsksReportsAndLeavesOutputOnlyOnSuccess)
{
    const JobCase &job = GetParam();
    bool apply = job.mode == MODE_APPLY, broken = job.resultIcon == IDI_EXCLAMATION;  // a broken patch lacks EEOF
    std::string first = dir / (apply ? "fix.ips" : "old.bin"), second = dir / (apply ? "game.bin" : "new.bin");
    std::string output = dir / (apply ? "fix.bin" : "new.ips");
    WriteFileBytes(first, !apply ? RandomBytes(64, 1) : broken ? Prefix(kPatch, kPatch.size() - 4) : kPatch);
    WriteFileBytes(second, RandomBytes(64, 2));
    SelectMode(job.mode);
    SetItemText(dlg, IDC_FIRST_PATH, first);
    SetItemText(dlg, IDC_SECOND_PATH, second);
    Command(dlg, IDOK, BN_CLICKED);
    HWND question = FindDialog(dlg);
    ASSERT_NE(nullptr, question);
    if (job.name == kJobs[0].name)  // one is enough
        SaveScreenshot(question, "question-box");
    EXPECT_EQ(LoadIcon(NULL, IDI_QUESTION), BoxIcon(question));
    EXPECT_NE(std::string::npos, BoxText(question).find(output));
    EXPECT_TRUE(InputsEnabled(false));

    // Exit and close are refused but the menu works; a drop enables a start that starts nothing.
    Command(dlg, IDM_EXIT);
    Send(dlg, WM_SYSCOMMAND, SC_CLOSE);
    EXPECT_FALSE(Ended(0));
    Command(dlg, IDM_ALWAYS_ON_TOP);
    EXPECT_EQ(1, ProcessSettings()->alwaysOnTop);
    EXPECT_TRUE(DropFiles(dlg, IDC_FIRST_PATH, {"C:\\other.ips"}));
    EXPECT_EQ("C:\\other.ips", ItemText(dlg, IDC_FIRST_PATH));
    EXPECT_TRUE(IsWindowEnabled(Item(IDOK)));
    Command(dlg, IDOK, BN_CLICKED);

    ASSERT_TRUE(PressButton(question, job.answer));
    if (job.resultIcon != NULL) {
        HWND result = FindDialog(dlg);
        ASSERT_NE(nullptr, result);
        EXPECT_EQ(LoadIcon(NULL, job.resultIcon), BoxIcon(result));
        if (job.resultIcon == IDI_INFORMATION) {
            EXPECT_NE(std::string::npos, BoxText(result).find(output));
            EXPECT_EQ(100, Send(Item(IDC_PROGRESS), PBM_GETPOS)) << "reset only once the box is closed";
            EXPECT_NE("", ItemText(dlg, IDC_STATUS));
        }
        ASSERT_TRUE(PressButton(result, IDOK));
    }
    ASSERT_TRUE(WaitUntil([&] { return InputsEnabled(true); }));
    EXPECT_EQ(nullptr, FindDialog(dlg, 0)) << "a box after the end, or a second job";
    EXPECT_EQ(0, Send(Item(IDC_PROGRESS), PBM_GETPOS));
    EXPECT_EQ("", ItemText(dlg, IDC_STATUS));
    EXPECT_EQ(job.resultIcon == IDI_INFORMATION, PathExists(output));
    Send(dlg, WM_SYSCOMMAND, SC_CLOSE);
    ASSERT_TRUE(Ended(kWaitMs));
    DWORD returned = 0;  // by DialogBoxParamA, as the thread's exit code
    EXPECT_TRUE(GetExitCodeThread(thread, &returned) && returned == 1) << returned;
}

INSTANTIATE_TEST_SUITE_P(Table, MainDialogJob, ::testing::ValuesIn(kJobs),
                         [](const ::testing::TestParamInfo<JobCase> &info) { return info.param.name; });

TEST_F(MainDialogTest, BrowseOffersTheFieldsFilterAndRemembersTheChosenFolder)
{
    const std::string inRoot = "C:\\zorvik-browse-test.ips";
    WriteFileBytes(dir / "fix.ips", kPatch);
    WriteFileBytes(inRoot, kPatch);
    // Wine's open-file dialog now and then drops a typed name: the choice is made again.
    auto browse = [&](int button, const char *filter, const std::string &path) {
        int field = button == IDC_FIRST_BROWSE ? IDC_FIRST_PATH : IDC_SECOND_PATH;
        std::string expected = path.empty() ? ItemText(dlg, field) : path;  // a cancel keeps the field
        for (int attempt = 0; attempt < 3; ++attempt) {
            PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            HWND open = FindDialog(dlg);
            EXPECT_EQ(filter, ItemText(open, cmb1));
            SetItemText(open, cmb13, path);  // the file name field
            EXPECT_TRUE(PressButton(open, path.empty() ? IDCANCEL : IDOK));
            if (WaitUntil([&] { return ItemText(dlg, field) == expected; }, 2000))
                return;
        }
        ADD_FAILURE() << "the open-file dialog left " << ItemText(dlg, field) << ", not " << expected;
    };
    browse(IDC_FIRST_BROWSE, "IPS(*.ips)", dir / "fix.ips");
    EXPECT_EQ(dir.path(), ProcessSettings()->firstDir[MODE_APPLY]);
    browse(IDC_FIRST_BROWSE, "IPS(*.ips)", "");
    EXPECT_EQ(dir.path(), ProcessSettings()->firstDir[MODE_APPLY]) << "a cancel keeps the remembered folder";
    browse(IDC_SECOND_BROWSE, "All(*.*)", inRoot);
    DeleteFileA(inRoot.c_str());
    EXPECT_STREQ("C:", ProcessSettings()->secondDir[MODE_APPLY]) << "the bare drive, for a file in its root";

    SelectMode(MODE_CREATE);
    browse(IDC_FIRST_BROWSE, "All(*.*)", dir / "fix.ips");
    EXPECT_EQ(dir.path(), ProcessSettings()->firstDir[MODE_CREATE]);
}

// Files dropped on control at (the status line: anywhere else) in mode, or outside the client area.
struct DropCase {
    int mode, at;
    BOOL nonClient;
    std::vector<std::string> files;
    const char *first, *second;  // the fields' texts afterwards
    int focus;                   // the control with the focus afterwards
};

static const DropCase kDrops[] = {
    {MODE_APPLY, IDC_SECOND_PATH, TRUE, {"C:\\fix.ips"}, "", "", IDC_FIRST_PATH},  // as the dialog opened
    {MODE_APPLY, IDC_FIRST_PATH, FALSE, {"C:\\d\\game.bin"}, "C:\\d\\game.bin", "", IDC_FIRST_PATH},
    {MODE_CREATE, IDC_SECOND_PATH, FALSE, {"C:\\1.bin", "C:\\2.ips", "C:\\3.bin"}, "", "C:\\3.bin", IDC_SECOND_PATH},
    {MODE_APPLY, IDC_STATUS, FALSE, {"C:\\p\\Fix.IpS", "C:\\t\\game.ips2"}, "C:\\p\\Fix.IpS", "C:\\t\\game.ips2",
     IDC_SECOND_PATH},
    {MODE_APPLY, IDC_STATUS, FALSE, {"C:\\t\\game.ip"}, "", "C:\\t\\game.ip", IDC_SECOND_PATH},
    {MODE_CREATE, IDC_STATUS, FALSE, {"C:\\fix.ips", "C:\\new.bin"}, "", "", IDC_STATUS},
};

TEST_F(MainDialogTest, DropsAndHandOverDataFillTheFields)
{
    for (const DropCase &drop : kDrops) {
        SCOPED_TRACE(drop.files.back());
        SelectMode(drop.mode);  // which empties both fields
        EXPECT_TRUE(DropFiles(dlg, drop.at, drop.files, drop.nonClient)) << "the drop was not released";
        EXPECT_EQ(drop.first, ItemText(dlg, IDC_FIRST_PATH));
        EXPECT_EQ(drop.second, ItemText(dlg, IDC_SECOND_PATH));
        EXPECT_EQ(Item(drop.focus), Focus());
    }

    // Hand-over data is taken only when it is there, ours and terminated.
    char text[] = "C:\\x.ips";
    COPYDATASTRUCT data[] = {{OPEN_PATCH_COPYDATA, sizeof text - 1, text},  // without its NUL
                             {OPEN_PATCH_COPYDATA + 1, sizeof text, text},
                             {OPEN_PATCH_COPYDATA, sizeof text, text}};
    Send(dlg, WM_COPYDATA, 0, (LPARAM)&data[0]);
    Send(dlg, WM_COPYDATA, 0, (LPARAM)&data[1]);
    // Called directly: Wine drops a fault inside a sent message's handler.
    EXPECT_TRUE(MainDialogProc(dlg, WM_COPYDATA, 0, 0));
    EXPECT_EQ("", ItemText(dlg, IDC_FIRST_PATH));
    Send(dlg, WM_COPYDATA, 0, (LPARAM)&data[2]);
    Send(dlg, WM_OPEN_PATCH, 0, 0);
    EXPECT_EQ("C:\\x.ips", ItemText(dlg, IDC_FIRST_PATH));
}

// Each half is truncated, so the centres may lie one pixel apart.
static void ExpectSameCentre(HWND outer, HWND inner)
{
    RECT a, b;
    GetWindowRect(outer, &a);
    GetWindowRect(inner, &b);
    EXPECT_NEAR(a.left + a.right, b.left + b.right, 2);
    EXPECT_NEAR(a.top + a.bottom, b.top + b.bottom, 2);
}

TEST_F(MainDialogTest, VersionDialogShowsTheVersionLineCentredOverItsOwnerAndOnlyEnterClosesIt)
{
    // First over a main dialog partly off the screen: the box is not pulled back onto it.
    for (int left : {-200, 100}) {
        SetWindowPos(dlg, NULL, left, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        PostMessageA(dlg, WM_COMMAND, IDM_VERSION, 0);
        HWND box = FindDialog(dlg);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ("Zorvik 0.64 Teldra", ItemText(box, IDC_VERSION_TEXT));
        ExpectSameCentre(dlg, box);
        if (left > 0)
            SaveScreenshot(box, "version-dialog");
        EXPECT_FALSE(PressButton(box, IDCANCEL, 300)) << "Escape closed it";  // IDCANCEL is what Escape sends
        PostMessageA(GetDlgItem(box, IDOK), WM_KEYDOWN, VK_RETURN, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    }
    // Without a parent, on the whole desktop window rather than the work area.
    CenterWindow(NULL, dlg);
    ExpectSameCentre(GetDesktopWindow(), dlg);
}
