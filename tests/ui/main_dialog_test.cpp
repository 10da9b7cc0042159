// The main dialog driven as a user drives it: fields, buttons, keys, menu
// commands, drops, the real jobs with their questions and results, and the
// version dialog opened from its menu.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>

#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include "bytes.h"
#include "settings/settings.h"
#include "temp_dir.h"
#include "ui/center_window.h"
#include "ui/main_dialog.h"
#include "ui/resource.h"
#include "ui_driver.h"

static bool InputsEnabled(DialogRun &run, bool enabled)
{
    const int ids[] = {IDC_MODE,          IDOK,           IDC_FIRST_PATH,  IDC_SECOND_PATH,  IDC_FIRST_BROWSE,
                       IDC_SECOND_BROWSE, IDC_MODE_LABEL, IDC_FIRST_LABEL, IDC_SECOND_LABEL, IDC_PARAM_GROUP};
    return std::all_of(ids, ids + 10, [&](int id) { return (IsWindowEnabled(run.Item(id)) != FALSE) == enabled; });
}

// Chooses mode in the mode list as the user does.
static void SelectMode(DialogRun &run, int mode)
{
    Send(run.Item(IDC_MODE), CB_SETCURSEL, mode);
    Command(run.dlg, IDC_MODE, CBN_SELCHANGE);
}

// Patches bytes 4 to 6 and 10 to 14 of a file.
static const Bytes kPatch = BuildPatch({DataRecord(4, ToBytes("abc")), RunRecord(10, 5, 'z')});

class MainDialogTest : public TempDirTest {
protected:
    void SetUp() override { ZeroMemory(ProcessSettings(), sizeof(Settings)); }
};

TEST_F(MainDialogTest, IdleDialogSwitchesModesWantsBothFieldsAndIgnoresEscapeAndSizing)
{
    ProcessSettings()->alwaysOnTop = 5;
    DialogRun run;
    HWND dlg = run.dlg;
    ASSERT_NE(nullptr, dlg);
    // A fixed-size window that takes dropped files, with the focus in its first field.
    EXPECT_EQ(WS_MINIMIZEBOX, GetWindowLongA(dlg, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_NE(0, GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_EQ(run.Item(IDC_FIRST_PATH), FocusOf(run.threadId));

    // A setting of 5 starts on top; the toggle stores 0, then 1.
    HMENU menu = GetMenu(dlg);
    for (int expected : {5, 0, 1}) {
        SCOPED_TRACE(expected);
        if (expected != 5)
            Command(dlg, IDM_ALWAYS_ON_TOP);
        Send(dlg, WM_INITMENU, (WPARAM)menu);
        EXPECT_EQ(expected, ProcessSettings()->alwaysOnTop);
        EXPECT_EQ(expected != 0, (GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
        EXPECT_EQ(expected != 0 ? MF_CHECKED : 0u,
                  GetMenuState(menu, IDM_ALWAYS_ON_TOP, MF_BYCOMMAND) & (MF_CHECKED | MF_GRAYED));
    }

    // Escape, then a key: once the key shows, Escape has been handled.
    HWND field = run.Item(IDC_FIRST_PATH);
    for (UINT message : {WM_KEYDOWN, WM_KEYUP})
        PostMessageA(field, message, VK_ESCAPE, 0);
    PostMessageA(field, WM_CHAR, 'x', 0);
    ASSERT_TRUE(WaitUntil([&] { return ItemText(dlg, IDC_FIRST_PATH) == "x"; }));
    EXPECT_FALSE(run.Ended(0));
    EXPECT_FALSE(IsWindowEnabled(run.Item(IDOK)));
    SetItemText(dlg, IDC_SECOND_PATH, "C:\\a.bin");
    EXPECT_TRUE(IsWindowEnabled(run.Item(IDOK)));
    SaveScreenshot(dlg, "main-dialog-apply");

    SelectMode(run, MODE_CREATE);
    EXPECT_EQ("", ItemText(dlg, IDC_FIRST_PATH));
    EXPECT_EQ("", ItemText(dlg, IDC_SECOND_PATH));
    EXPECT_EQ("作成(&C)", ItemText(dlg, IDOK));
    EXPECT_FALSE(IsWindowEnabled(run.Item(IDOK)));
    SetItemText(dlg, IDC_SECOND_PATH, "C:\\new.bin");
    Command(dlg, IDOK, BN_CLICKED);  // as Enter does
    EXPECT_EQ(nullptr, FindDialog(dlg, 500)) << "a job started, and reported the empty field";
    SetItemText(dlg, IDC_FIRST_PATH, "C:\\old.bin");
    EXPECT_TRUE(IsWindowEnabled(run.Item(IDOK)));
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

// One job from the start button to its end, with the answer to its question.
struct JobCase {
    const char *name;
    int mode;
    int answer;         // IDYES or IDNO
    LPCSTR resultIcon;  // of the final box, null when none shows; IDI_EXCLAMATION for a broken patch
};

static const JobCase kJobs[] = {
    {"ApplyYes", MODE_APPLY, IDYES, IDI_INFORMATION}, {"ApplyNo", MODE_APPLY, IDNO, NULL},
    {"ApplyFails", MODE_APPLY, IDYES, IDI_EXCLAMATION}, {"CreateYes", MODE_CREATE, IDYES, IDI_INFORMATION},
};

class MainDialogJob : public MainDialogTest, public ::testing::WithParamInterface<JobCase> {};

// The output's name in the question and the final box shows that the job got its
// paths in the right order; the jobs' own tests check what they write.
TEST_P(MainDialogJob, AsksReportsAndLeavesOutputOnlyOnSuccess)
{
    const JobCase &job = GetParam();
    bool apply = job.mode == MODE_APPLY;
    // fix.ips on game.bin gives fix.bin; old.bin and new.bin give new.ips.
    std::string first = dir / (apply ? "fix.ips" : "old.bin"), second = dir / (apply ? "game.bin" : "new.bin");
    std::string output = dir / (apply ? "fix.bin" : "new.ips");
    bool broken = job.resultIcon == IDI_EXCLAMATION;  // the patch lacks its terminator
    WriteFileBytes(first, !apply ? RandomBytes(64, 1) : broken ? Prefix(kPatch, kPatch.size() - 4) : kPatch);
    WriteFileBytes(second, RandomBytes(64, 2));
    DialogRun run;
    SelectMode(run, job.mode);
    SetItemText(run.dlg, IDC_FIRST_PATH, first);
    SetItemText(run.dlg, IDC_SECOND_PATH, second);
    Command(run.dlg, IDOK, BN_CLICKED);
    HWND question = FindDialog(run.dlg);
    ASSERT_NE(nullptr, question);
    if (job.name == kJobs[0].name)  // one is enough
        SaveScreenshot(question, "question-box");
    EXPECT_EQ(LoadIcon(NULL, IDI_QUESTION), BoxIcon(question));
    EXPECT_NE(std::string::npos, BoxText(question).find(output));
    EXPECT_TRUE(InputsEnabled(run, false));

    // Exit and close are refused but the menu works; a drop reaches the disabled
    // field and so enables the start button again, which starts no second job.
    Command(run.dlg, IDM_EXIT);
    Send(run.dlg, WM_SYSCOMMAND, SC_CLOSE);
    EXPECT_FALSE(run.Ended(0));
    Command(run.dlg, IDM_ALWAYS_ON_TOP);
    EXPECT_EQ(1, ProcessSettings()->alwaysOnTop);
    EXPECT_TRUE(DropFiles(run.dlg, IDC_FIRST_PATH, {"C:\\other.ips"}));
    EXPECT_EQ("C:\\other.ips", ItemText(run.dlg, IDC_FIRST_PATH));
    EXPECT_TRUE(IsWindowEnabled(run.Item(IDOK)));
    Command(run.dlg, IDOK, BN_CLICKED);

    ASSERT_TRUE(PressButton(question, job.answer));
    if (job.resultIcon != NULL) {
        HWND result = FindDialog(run.dlg);
        ASSERT_NE(nullptr, result);
        EXPECT_EQ(LoadIcon(NULL, job.resultIcon), BoxIcon(result));
        if (job.resultIcon == IDI_INFORMATION) {
            EXPECT_NE(std::string::npos, BoxText(result).find(output));
            EXPECT_EQ(100, Send(run.Item(IDC_PROGRESS), PBM_GETPOS)) << "reset only once the box is closed";
            EXPECT_NE("", ItemText(run.dlg, IDC_STATUS));
        }
        ASSERT_TRUE(PressButton(result, IDOK));
    }
    ASSERT_TRUE(WaitUntil([&] { return InputsEnabled(run, true); }));
    EXPECT_EQ(nullptr, FindDialog(run.dlg, 0)) << "a box after the end, or a second job";
    EXPECT_EQ(0, Send(run.Item(IDC_PROGRESS), PBM_GETPOS));
    EXPECT_EQ("", ItemText(run.dlg, IDC_STATUS));
    EXPECT_EQ(job.resultIcon == IDI_INFORMATION, PathExists(output));
    Send(run.dlg, WM_SYSCOMMAND, SC_CLOSE);
    ASSERT_TRUE(run.Ended(kWaitMs));
    EXPECT_EQ(1, run.result);
}

INSTANTIATE_TEST_SUITE_P(Table, MainDialogJob, ::testing::ValuesIn(kJobs),
                         [](const ::testing::TestParamInfo<JobCase> &info) { return info.param.name; });

TEST_F(MainDialogTest, BrowseOffersTheFieldsFilterAndRemembersTheChosenFolder)
{
    const std::string inRoot = "C:\\zorvik-browse-test.ips";
    WriteFileBytes(dir / "fix.ips", kPatch);
    WriteFileBytes(inRoot, kPatch);
    DialogRun run;
    // Presses button, checks the filter offered, and chooses path or cancels.
    // Wine's open-file dialog now and then closes without taking a typed name,
    // which the dialog treats like a cancel; the choice is then made again.
    auto browse = [&](int button, const char *filter, const std::string &path) {
        int field = button == IDC_FIRST_BROWSE ? IDC_FIRST_PATH : IDC_SECOND_PATH;
        for (int attempt = 0; attempt < 3; ++attempt) {
            PostMessageA(run.dlg, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            HWND open = FindDialog(run.dlg);
            EXPECT_EQ(filter, ItemText(open, cmb1));
            SetItemText(open, cmb13, path);  // the file name field
            EXPECT_TRUE(PressButton(open, path.empty() ? IDCANCEL : IDOK));
            if (path.empty() || WaitUntil([&] { return ItemText(run.dlg, field) == path; }, 2000))
                return;
        }
        ADD_FAILURE() << "the open-file dialog never took " << path;
    };
    browse(IDC_FIRST_BROWSE, "IPS(*.ips)", dir / "fix.ips");
    EXPECT_EQ(dir / "fix.ips", ItemText(run.dlg, IDC_FIRST_PATH));
    EXPECT_EQ(dir.path(), ProcessSettings()->firstDir[MODE_APPLY]);
    browse(IDC_FIRST_BROWSE, "IPS(*.ips)", "");
    EXPECT_EQ(dir / "fix.ips", ItemText(run.dlg, IDC_FIRST_PATH));
    EXPECT_EQ(dir.path(), ProcessSettings()->firstDir[MODE_APPLY]) << "a cancel keeps the remembered folder";
    browse(IDC_SECOND_BROWSE, "All(*.*)", inRoot);
    DeleteFileA(inRoot.c_str());
    EXPECT_STREQ("C:", ProcessSettings()->secondDir[MODE_APPLY]) << "the bare drive, for a file in its root";

    SelectMode(run, MODE_CREATE);
    browse(IDC_FIRST_BROWSE, "All(*.*)", dir / "fix.ips");
    EXPECT_EQ(dir.path(), ProcessSettings()->firstDir[MODE_CREATE]);
}

// Files dropped on the centre of control at (the status line standing for
// anywhere else) in mode, or reported as outside the client area.
struct DropCase {
    int mode;
    int at;
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
    DialogRun run;
    for (const DropCase &drop : kDrops) {
        SCOPED_TRACE(drop.files.back());
        SelectMode(run, drop.mode);  // which empties both fields
        EXPECT_TRUE(DropFiles(run.dlg, drop.at, drop.files, drop.nonClient)) << "the drop was not released";
        EXPECT_EQ(drop.first, ItemText(run.dlg, IDC_FIRST_PATH));
        EXPECT_EQ(drop.second, ItemText(run.dlg, IDC_SECOND_PATH));
        EXPECT_EQ(run.Item(drop.focus), FocusOf(run.threadId));
    }

    // Hand-over data from another process is taken only when there is some,
    // it is ours and terminated; WM_OPEN_PATCH without a text changes nothing.
    char text[] = "C:\\x.ips";
    COPYDATASTRUCT data[] = {{OPEN_PATCH_COPYDATA, sizeof text - 1, text},  // without its NUL
                             {OPEN_PATCH_COPYDATA + 1, sizeof text, text},
                             {OPEN_PATCH_COPYDATA, sizeof text, text}};
    Send(run.dlg, WM_COPYDATA, 0, (LPARAM)&data[0]);
    Send(run.dlg, WM_COPYDATA, 0, (LPARAM)&data[1]);
    // Called directly: Wine drops a fault inside a sent message's handler.
    EXPECT_TRUE(MainDialogProc(run.dlg, WM_COPYDATA, 0, 0));
    EXPECT_EQ("", ItemText(run.dlg, IDC_FIRST_PATH));
    Send(run.dlg, WM_COPYDATA, 0, (LPARAM)&data[2]);
    Send(run.dlg, WM_OPEN_PATCH, 0, 0);
    EXPECT_EQ("C:\\x.ips", ItemText(run.dlg, IDC_FIRST_PATH));
}

// Each half is truncated, so the centres may lie one pixel apart.
static void ExpectSameCentre(HWND outer, HWND inner)
{
    RECT a, b;
    GetWindowRect(outer, &a);
    GetWindowRect(inner, &b);
    EXPECT_LE(abs((a.left + a.right) - (b.left + b.right)), 2);
    EXPECT_LE(abs((a.top + a.bottom) - (b.top + b.bottom)), 2);
}

TEST(VersionDialog, ShowsTheVersionLineCentredOverItsOwnerAndOnlyEnterClosesIt)
{
    DialogRun run;
    // First over a main dialog partly off the screen: the box is not pulled back onto it.
    for (int left : {-200, 100}) {
        SetWindowPos(run.dlg, NULL, left, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        PostMessageA(run.dlg, WM_COMMAND, IDM_VERSION, 0);
        HWND box = FindDialog(run.dlg);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ("Zorvik 0.64 Teldra", ItemText(box, IDC_VERSION_TEXT));
        ExpectSameCentre(run.dlg, box);
        if (left > 0)
            SaveScreenshot(box, "version-dialog");
        PostMessageA(box, WM_COMMAND, IDCANCEL, 0);  // what Escape sends
        EXPECT_FALSE(WaitUntil([&] { return !IsWindow(box); }, 300)) << "Escape closed it";
        PostMessageA(GetDlgItem(box, IDOK), WM_KEYDOWN, VK_RETURN, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    }
    // Without a parent, on the whole desktop window rather than the work area.
    CenterWindow(NULL, run.dlg);
    ExpectSameCentre(GetDesktopWindow(), run.dlg);
}
