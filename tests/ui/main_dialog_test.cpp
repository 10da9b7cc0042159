// The main dialog driven as a user drives it: fields, buttons, keys, menu
// commands, drops, and the real jobs with their questions and results.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include "bytes.h"
#include "dialog_run.h"
#include "engine/apply.h"
#include "settings/settings.h"
#include "temp_dir.h"
#include "ui/main_dialog.h"
#include "ui/resource.h"
#include "ui_driver.h"

static const int kInputs[] = {IDC_MODE,          IDOK,           IDC_FIRST_PATH,  IDC_SECOND_PATH,
                              IDC_FIRST_BROWSE,  IDC_SECOND_BROWSE, IDC_MODE_LABEL, IDC_FIRST_LABEL,
                              IDC_SECOND_LABEL,  IDC_PARAM_GROUP};

class MainDialogTest : public TempDirTest {
protected:
    void SetUp() override { ZeroMemory(ProcessSettings(), sizeof(Settings)); }

    // Chooses mode in the mode list as the user does.
    static void SelectMode(DialogRun &run, int mode)
    {
        Send(run.Item(IDC_MODE), CB_SETCURSEL, mode);
        Command(run.dlg(), IDC_MODE, CBN_SELCHANGE);
    }

    static void Start(DialogRun &run, const std::string &first, const std::string &second)
    {
        SetItemText(run.dlg(), IDC_FIRST_PATH, first);
        SetItemText(run.dlg(), IDC_SECOND_PATH, second);
        Command(run.dlg(), IDOK, BN_CLICKED);
    }

    static bool InputsEnabled(DialogRun &run, bool enabled)
    {
        for (int id : kInputs) {
            if (ItemEnabled(run.dlg(), id) != enabled)
                return false;
        }
        return true;
    }

    static bool WaitForIdle(DialogRun &run)
    {
        return WaitUntil([&] { return InputsEnabled(run, true); });
    }

    static int Progress(DialogRun &run) { return (int)Send(run.Item(IDC_PROGRESS), PBM_GETPOS); }

    // A patch and a file to patch in dir; the output copy is fix.bin.
    Bytes WriteApplyFiles(const Bytes &patch)
    {
        Bytes original = RandomBytes(64, 7);
        WriteFileBytes(dir / "game.bin", original);
        WriteFileBytes(dir / "fix.ips", patch);
        return original;
    }

    static Bytes GoodPatch() { return BuildPatch({DataRecord(4, ToBytes("abc")), RunRecord(10, 5, 'z')}); }
};

TEST_F(MainDialogTest, OpensInApplyModeWithTheRequestsFirstPath)
{
    DialogRun run("C:\\some dir\\fix 1.ips");
    ASSERT_NE(nullptr, run.dlg());
    EXPECT_EQ("C:\\some dir\\fix 1.ips", ItemText(run.dlg(), IDC_FIRST_PATH));
    EXPECT_EQ("", ItemText(run.dlg(), IDC_SECOND_PATH));
    EXPECT_EQ(0, Send(run.Item(IDC_MODE), CB_GETCURSEL));
    ASSERT_EQ(2, Send(run.Item(IDC_MODE), CB_GETCOUNT));
    char entry[64];
    Send(run.Item(IDC_MODE), CB_GETLBTEXT, 0, (LPARAM)entry);
    EXPECT_STREQ("IPSﾊﾟｯﾁ", entry);
    Send(run.Item(IDC_MODE), CB_GETLBTEXT, 1, (LPARAM)entry);
    EXPECT_STREQ("IPSﾌｧｲﾙ作成", entry);
    EXPECT_EQ("IPSﾌｧｲﾙ", ItemText(run.dlg(), IDC_FIRST_LABEL));
    EXPECT_EQ("ﾊﾟｯﾁするﾌｧｲﾙ", ItemText(run.dlg(), IDC_SECOND_LABEL));
    EXPECT_EQ("適用(&P)", ItemText(run.dlg(), IDOK));
    EXPECT_FALSE(ItemEnabled(run.dlg(), IDOK)) << "the second field is empty";
    EXPECT_EQ(run.Item(IDC_FIRST_PATH), FocusOf(run.threadId()));
    EXPECT_EQ(0, Send(run.Item(IDC_PROGRESS), PBM_GETRANGE, TRUE));
    EXPECT_EQ(100, Send(run.Item(IDC_PROGRESS), PBM_GETRANGE, FALSE));
    EXPECT_EQ(PATH_BUFFER_SIZE, Send(run.Item(IDC_FIRST_PATH), EM_GETLIMITTEXT));
    EXPECT_NE(0, Send(run.dlg(), WM_GETICON, ICON_BIG));
    EXPECT_NE(0, Send(run.dlg(), WM_GETICON, ICON_SMALL));
    EXPECT_NE(0, Send(run.Item(IDC_FIRST_BROWSE), BM_GETIMAGE, IMAGE_ICON));
    LONG style = GetWindowLongA(run.dlg(), GWL_STYLE), exStyle = GetWindowLongA(run.dlg(), GWL_EXSTYLE);
    EXPECT_EQ(WS_MINIMIZEBOX, style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_EQ(WS_EX_ACCEPTFILES, exStyle & (WS_EX_ACCEPTFILES | WS_EX_TOPMOST));
}

TEST_F(MainDialogTest, ModeSwitchEmptiesBothFieldsAndRelabels)
{
    DialogRun run;
    SetItemText(run.dlg(), IDC_FIRST_PATH, "C:\\a.ips");
    SetItemText(run.dlg(), IDC_SECOND_PATH, "C:\\a.bin");
    SaveScreenshot(run.dlg(), "main-dialog-apply");

    SelectMode(run, MODE_CREATE);
    EXPECT_EQ("", ItemText(run.dlg(), IDC_FIRST_PATH));
    EXPECT_EQ("", ItemText(run.dlg(), IDC_SECOND_PATH));
    EXPECT_EQ("変更前のﾌｧｲﾙ", ItemText(run.dlg(), IDC_FIRST_LABEL));
    EXPECT_EQ("変更後のﾌｧｲﾙ", ItemText(run.dlg(), IDC_SECOND_LABEL));
    EXPECT_EQ("作成(&C)", ItemText(run.dlg(), IDOK));
    EXPECT_FALSE(ItemEnabled(run.dlg(), IDOK));

    SetItemText(run.dlg(), IDC_FIRST_PATH, "C:\\old.bin");
    SetItemText(run.dlg(), IDC_SECOND_PATH, "C:\\new.bin");
    SaveScreenshot(run.dlg(), "main-dialog-create");

    Command(run.dlg(), IDM_MODE_APPLY);
    EXPECT_EQ(0, Send(run.Item(IDC_MODE), CB_GETCURSEL));
    EXPECT_EQ("", ItemText(run.dlg(), IDC_FIRST_PATH));
    EXPECT_EQ("", ItemText(run.dlg(), IDC_SECOND_PATH));
    EXPECT_EQ("適用(&P)", ItemText(run.dlg(), IDOK));
}

TEST_F(MainDialogTest, DefaultButtonIsEnabledExactlyWhenBothFieldsHoldText)
{
    DialogRun run;
    SetItemText(run.dlg(), IDC_FIRST_PATH, "a");
    EXPECT_FALSE(ItemEnabled(run.dlg(), IDOK));
    SetItemText(run.dlg(), IDC_SECOND_PATH, "b");
    EXPECT_TRUE(ItemEnabled(run.dlg(), IDOK));
    SetItemText(run.dlg(), IDC_FIRST_PATH, "");
    EXPECT_FALSE(ItemEnabled(run.dlg(), IDOK));
}

TEST_F(MainDialogTest, StartWithAnEmptyFieldStartsNothing)
{
    WriteApplyFiles(GoodPatch());
    DialogRun run;
    Start(run, dir / "fix.ips", "");
    // A job would disable the inputs at once with its first notification.
    EXPECT_FALSE(WaitUntil([&] { return !ItemEnabled(run.dlg(), IDC_MODE); }, 500));
    EXPECT_EQ(nullptr, FindOwnedDialog(run.dlg(), 0));
}

TEST_F(MainDialogTest, EscapeNeverCloses)
{
    DialogRun run;
    HWND field = run.Item(IDC_FIRST_PATH);
    PostMessageA(field, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(field, WM_KEYUP, VK_ESCAPE, 0);
    // Posted after the key, so handled after it: once it shows, Escape has been.
    PostMessageA(field, WM_CHAR, 'x', 0);
    ASSERT_TRUE(WaitUntil([&] { return ItemText(run.dlg(), IDC_FIRST_PATH) == "x"; }));
    Command(run.dlg(), IDCANCEL);
    EXPECT_FALSE(run.Ended(0));
    EXPECT_TRUE(IsWindowVisible(run.dlg()));
}

TEST_F(MainDialogTest, ExitEndsTheIdleDialogWithResultOne)
{
    DialogRun run;
    Command(run.dlg(), IDM_EXIT);
    ASSERT_TRUE(run.Ended(kWaitMs));
    EXPECT_EQ(1, run.result());
}

TEST_F(MainDialogTest, CloseCommandEndsTheIdleDialog)
{
    DialogRun run;
    Send(run.dlg(), WM_SYSCOMMAND, SC_CLOSE);
    ASSERT_TRUE(run.Ended(kWaitMs));
    EXPECT_EQ(1, run.result());
}

TEST_F(MainDialogTest, MaximizeAndSizeCommandsAreSwallowed)
{
    DialogRun run;
    RECT before, after;
    GetWindowRect(run.dlg(), &before);
    Send(run.dlg(), WM_SYSCOMMAND, SC_MAXIMIZE);
    Send(run.dlg(), WM_SYSCOMMAND, SC_SIZE);
    GetWindowRect(run.dlg(), &after);
    EXPECT_FALSE(IsZoomed(run.dlg()));
    EXPECT_TRUE(EqualRect(&before, &after));
}

TEST_F(MainDialogTest, ExitAndCloseAreRefusedWhileAJobRunsAndHonouredAfter)
{
    WriteApplyFiles(GoodPatch());
    DialogRun run;
    Start(run, dir / "fix.ips", dir / "game.bin");
    HWND question = FindOwnedDialog(run.dlg());  // the job waits for its answer
    ASSERT_NE(nullptr, question);
    EXPECT_TRUE(InputsEnabled(run, false));

    Command(run.dlg(), IDM_EXIT);
    Send(run.dlg(), WM_SYSCOMMAND, SC_CLOSE);
    EXPECT_FALSE(run.Ended(0));

    // The menu stays usable, and a drop still reaches a disabled field, which
    // enables the start button again; pressing it starts no second job.
    Command(run.dlg(), IDM_ALWAYS_ON_TOP);
    EXPECT_EQ(1, ProcessSettings()->alwaysOnTop);
    DropFiles(run.dlg(), ItemCentre(run.dlg(), IDC_FIRST_PATH), {"C:\\other.ips"});
    EXPECT_EQ("C:\\other.ips", ItemText(run.dlg(), IDC_FIRST_PATH));
    EXPECT_TRUE(ItemEnabled(run.dlg(), IDOK));
    Command(run.dlg(), IDOK, BN_CLICKED);

    ASSERT_TRUE(PressButton(question, IDNO));
    ASSERT_TRUE(WaitForIdle(run));
    EXPECT_EQ(nullptr, FindOwnedDialog(run.dlg(), 0)) << "a second job asked something";
    Command(run.dlg(), IDM_EXIT);
    ASSERT_TRUE(run.Ended(kWaitMs));
}

TEST_F(MainDialogTest, ApplyWithYesWritesThePatchedCopyAndReportsIt)
{
    Bytes expected = WriteApplyFiles(GoodPatch());
    expected[4] = 'a', expected[5] = 'b', expected[6] = 'c';
    for (int i = 10; i < 15; ++i)
        expected[i] = 'z';
    DialogRun run;
    Start(run, dir / "fix.ips", dir / "game.bin");

    HWND question = FindOwnedDialog(run.dlg());
    ASSERT_NE(nullptr, question);
    EXPECT_EQ(MAIN_DIALOG_TITLE, Text(question));
    EXPECT_EQ(LoadIcon(NULL, IDI_QUESTION), BoxIcon(question));
    EXPECT_NE(std::string::npos, BoxText(question).find(dir / "fix.bin"));
    EXPECT_TRUE(InputsEnabled(run, false));
    EXPECT_TRUE(ItemEnabled(run.dlg(), IDC_PROGRESS));
    EXPECT_TRUE(ItemEnabled(run.dlg(), IDC_STATUS));
    SaveScreenshot(question, "question-box");
    ASSERT_TRUE(PressButton(question, IDYES));

    HWND result = FindOwnedDialog(run.dlg());
    ASSERT_NE(nullptr, result);
    EXPECT_EQ(LoadIcon(NULL, IDI_INFORMATION), BoxIcon(result));
    EXPECT_NE(std::string::npos, BoxText(result).find(dir / "fix.bin"));
    EXPECT_EQ(100, Progress(run)) << "the bar is reset only once the box is closed";
    EXPECT_EQ("完了", ItemText(run.dlg(), IDC_STATUS));
    ASSERT_TRUE(PressButton(result, IDOK));

    ASSERT_TRUE(WaitForIdle(run));
    EXPECT_EQ(0, Progress(run));
    EXPECT_EQ("", ItemText(run.dlg(), IDC_STATUS));
    EXPECT_EQ(expected, ReadFileBytes(dir / "fix.bin"));
}

TEST_F(MainDialogTest, ApplyWithNoShowsNothingAndWritesNothing)
{
    WriteApplyFiles(GoodPatch());
    DialogRun run;
    Start(run, dir / "fix.ips", dir / "game.bin");
    HWND question = FindOwnedDialog(run.dlg());
    ASSERT_NE(nullptr, question);
    ASSERT_TRUE(PressButton(question, IDNO));
    ASSERT_TRUE(WaitForIdle(run));
    EXPECT_EQ(nullptr, FindOwnedDialog(run.dlg(), 0));
    EXPECT_FALSE(PathExists(dir / "fix.bin"));
}

TEST_F(MainDialogTest, FailingApplyShowsAWarningAndLeavesNoOutput)
{
    Bytes patch = GoodPatch();
    WriteApplyFiles(Prefix(patch, patch.size() - 4));  // no terminator
    DialogRun run;
    Start(run, dir / "fix.ips", dir / "game.bin");
    HWND question = FindOwnedDialog(run.dlg());
    ASSERT_NE(nullptr, question);
    ASSERT_TRUE(PressButton(question, IDYES));

    HWND result = FindOwnedDialog(run.dlg());
    ASSERT_NE(nullptr, result);
    EXPECT_EQ(LoadIcon(NULL, IDI_EXCLAMATION), BoxIcon(result));
    EXPECT_NE("", BoxText(result));
    EXPECT_FALSE(PathExists(dir / "fix.bin"));
    ASSERT_TRUE(PressButton(result, IDOK));
    ASSERT_TRUE(WaitForIdle(run));
    EXPECT_FALSE(PathExists(dir / "fix.bin"));
}

TEST_F(MainDialogTest, CreateWithYesWritesAPatchThatRebuildsTheModifiedFile)
{
    Bytes original = RandomBytes(300, 1);
    Bytes modified = original;
    modified[0] ^= 0xFF;
    modified[150] ^= 0x55;
    modified.insert(modified.end(), 40, 'n');
    WriteFileBytes(dir / "old.bin", original);
    WriteFileBytes(dir / "new.bin", modified);
    DialogRun run;
    SelectMode(run, MODE_CREATE);
    Start(run, dir / "old.bin", dir / "new.bin");

    HWND question = FindOwnedDialog(run.dlg());
    ASSERT_NE(nullptr, question);
    EXPECT_EQ(LoadIcon(NULL, IDI_QUESTION), BoxIcon(question));
    ASSERT_TRUE(PressButton(question, IDYES));
    HWND result = FindOwnedDialog(run.dlg());
    ASSERT_NE(nullptr, result);
    EXPECT_EQ(LoadIcon(NULL, IDI_INFORMATION), BoxIcon(result));
    EXPECT_NE(std::string::npos, BoxText(result).find(dir / "new.ips"));
    ASSERT_TRUE(PressButton(result, IDOK));
    ASSERT_TRUE(WaitForIdle(run));

    WriteFileBytes(dir / "rebuilt.bin", original);
    char message[ENGINE_TEXT_SIZE];
    ASSERT_TRUE(ApplyPatch((dir / "rebuilt.bin").c_str(), (dir / "new.ips").c_str(), message, sizeof message,
                           NULL, WM_JOB_PROGRESS));
    EXPECT_EQ(modified, ReadFileBytes(dir / "rebuilt.bin"));
}

TEST_F(MainDialogTest, CreateWithNoWritesNothing)
{
    WriteFileBytes(dir / "old.bin", RandomBytes(30, 2));
    WriteFileBytes(dir / "new.bin", RandomBytes(30, 3));
    DialogRun run;
    SelectMode(run, MODE_CREATE);
    Start(run, dir / "old.bin", dir / "new.bin");
    HWND question = FindOwnedDialog(run.dlg());
    ASSERT_NE(nullptr, question);
    ASSERT_TRUE(PressButton(question, IDNO));
    ASSERT_TRUE(WaitForIdle(run));
    EXPECT_EQ(nullptr, FindOwnedDialog(run.dlg(), 0));
    EXPECT_FALSE(PathExists(dir / "new.ips"));
}

TEST_F(MainDialogTest, AlwaysOnTopValueFiveStartsOnTopAndTogglesToZeroThenOne)
{
    ProcessSettings()->alwaysOnTop = 5;
    DialogRun run;
    HMENU menu = GetMenu(run.dlg());
    auto checked = [&] {
        Send(run.dlg(), WM_INITMENU, (WPARAM)menu);
        return (GetMenuState(menu, IDM_ALWAYS_ON_TOP, MF_BYCOMMAND) & MF_CHECKED) != 0;
    };
    auto topmost = [&] { return (GetWindowLongA(run.dlg(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
    EXPECT_TRUE(topmost());
    EXPECT_TRUE(checked());

    Command(run.dlg(), IDM_ALWAYS_ON_TOP);
    EXPECT_EQ(0, ProcessSettings()->alwaysOnTop);
    EXPECT_FALSE(topmost());
    EXPECT_FALSE(checked());

    Command(run.dlg(), IDM_ALWAYS_ON_TOP);
    EXPECT_EQ(1, ProcessSettings()->alwaysOnTop);
    EXPECT_TRUE(topmost());
    EXPECT_TRUE(checked());
    EXPECT_FALSE(GetMenuState(menu, IDM_ALWAYS_ON_TOP, MF_BYCOMMAND) & MF_GRAYED);
}

TEST_F(MainDialogTest, FinishedWithoutTextShowsNoBoxAndResets)
{
    DialogRun run;
    Send(run.dlg(), WM_JOB_STARTED);
    EXPECT_TRUE(InputsEnabled(run, false));
    Send(run.dlg(), WM_JOB_PROGRESS, 40, (LPARAM) "abc");
    Send(run.dlg(), WM_JOB_PROGRESS, 60, 0);
    EXPECT_EQ(60, Progress(run));
    EXPECT_EQ("abc", ItemText(run.dlg(), IDC_STATUS)) << "a null status keeps the text";
    Send(run.dlg(), WM_JOB_FINISHED, 0, 0);  // would not return while a box were open
    EXPECT_TRUE(InputsEnabled(run, true));
    EXPECT_EQ(0, Progress(run));
    EXPECT_EQ("", ItemText(run.dlg(), IDC_STATUS));
}

class MainDialogBrowse : public MainDialogTest {
protected:
    // Presses the browse button and gives the open-file dialog it opens.
    static HWND Browse(DialogRun &run, int button)
    {
        PostCommand(run.dlg(), button, BN_CLICKED);
        return FindOwnedDialog(run.dlg());
    }

    static BOOL CALLBACK MatchNameField(HWND child, LPARAM param)
    {
        if (GetDlgCtrlID(child) != cmb13 || ClassName(child) != "Edit")
            return TRUE;
        *(HWND *)param = child;
        return FALSE;
    }

    // The file name field, an edit inside the combo box cmb13.
    static HWND NameField(HWND open)
    {
        HWND field = NULL;
        EnumChildWindows(open, MatchNameField, (LPARAM)&field);
        return field;
    }

    static void Choose(HWND open, const std::string &path)
    {
        Send(NameField(open), WM_SETTEXT, 0, (LPARAM)path.c_str());
        EXPECT_TRUE(PressButton(open, IDOK));
    }
};

TEST_F(MainDialogBrowse, OffersTheFieldsFilterAndRemembersTheChosenFolder)
{
    WriteFileBytes(dir / "fix.ips", GoodPatch());
    DialogRun run;
    HWND open = Browse(run, IDC_FIRST_BROWSE);
    ASSERT_NE(nullptr, open);
    EXPECT_EQ("IPS(*.ips)", ItemText(open, cmb1));
    Choose(open, dir / "fix.ips");
    EXPECT_EQ(dir / "fix.ips", ItemText(run.dlg(), IDC_FIRST_PATH));
    EXPECT_EQ(dir.path(), ProcessSettings()->firstDir[MODE_APPLY]);

    open = Browse(run, IDC_SECOND_BROWSE);
    ASSERT_NE(nullptr, open);
    EXPECT_EQ("All(*.*)", ItemText(open, cmb1));
    Choose(open, dir / "fix.ips");
    EXPECT_EQ(dir.path(), ProcessSettings()->secondDir[MODE_APPLY]);
    EXPECT_STREQ("", ProcessSettings()->firstDir[MODE_CREATE]);

    SelectMode(run, MODE_CREATE);
    open = Browse(run, IDC_FIRST_BROWSE);
    ASSERT_NE(nullptr, open);
    EXPECT_EQ("All(*.*)", ItemText(open, cmb1));
    ASSERT_TRUE(PressButton(open, IDCANCEL));
    EXPECT_EQ("", ItemText(run.dlg(), IDC_FIRST_PATH));
    EXPECT_STREQ("", ProcessSettings()->firstDir[MODE_CREATE]) << "a cancelled browse remembers nothing";
}

TEST_F(MainDialogBrowse, AFileInADriveRootLeavesTheBareDrive)
{
    const std::string inRoot = "C:\\zorvik-browse-test.ips";
    WriteFileBytes(inRoot, GoodPatch());
    {
        DialogRun run;
        HWND open = Browse(run, IDC_FIRST_BROWSE);
        ASSERT_NE(nullptr, open);
        Choose(open, inRoot);
        EXPECT_STREQ("C:", ProcessSettings()->firstDir[MODE_APPLY]);
    }
    DeleteFileA(inRoot.c_str());
}

class MainDialogDrop : public MainDialogTest {
protected:
    // A point on the dialog that is on neither path field: the status line.
    static POINT Elsewhere(DialogRun &run) { return ItemCentre(run.dlg(), IDC_STATUS); }

    static bool Released(HGLOBAL block) { return GlobalSize(block) == 0; }
};

TEST_F(MainDialogDrop, OnAFieldFillsThatFieldInEitherMode)
{
    DialogRun run;
    for (int mode : {MODE_APPLY, MODE_CREATE}) {
        SCOPED_TRACE(mode);
        SelectMode(run, mode);
        HGLOBAL block = DropFiles(run.dlg(), ItemCentre(run.dlg(), IDC_FIRST_PATH), {"C:\\d\\game.bin"});
        EXPECT_TRUE(Released(block));
        DropFiles(run.dlg(), ItemCentre(run.dlg(), IDC_SECOND_PATH), {"C:\\d\\fix.ips"});
        EXPECT_EQ("C:\\d\\game.bin", ItemText(run.dlg(), IDC_FIRST_PATH));
        EXPECT_EQ("C:\\d\\fix.ips", ItemText(run.dlg(), IDC_SECOND_PATH));
        EXPECT_EQ(run.Item(IDC_SECOND_PATH), FocusOf(run.threadId()));
    }
}

TEST_F(MainDialogDrop, SeveralFilesOnAFieldLeaveTheLast)
{
    DialogRun run;
    DropFiles(run.dlg(), ItemCentre(run.dlg(), IDC_SECOND_PATH), {"C:\\1.bin", "C:\\2.bin", "C:\\3.bin"});
    EXPECT_EQ("C:\\3.bin", ItemText(run.dlg(), IDC_SECOND_PATH));
    EXPECT_EQ("", ItemText(run.dlg(), IDC_FIRST_PATH));
}

TEST_F(MainDialogDrop, ElsewhereInApplyModeAPatchGoesFirstAndAnythingElseSecond)
{
    DialogRun run;
    HGLOBAL block = DropFiles(run.dlg(), Elsewhere(run), {"C:\\p\\Fix.IpS", "C:\\t\\game.ips2"});
    EXPECT_TRUE(Released(block));
    EXPECT_EQ("C:\\p\\Fix.IpS", ItemText(run.dlg(), IDC_FIRST_PATH));
    EXPECT_EQ("C:\\t\\game.ips2", ItemText(run.dlg(), IDC_SECOND_PATH));
    EXPECT_EQ(run.Item(IDC_SECOND_PATH), FocusOf(run.threadId()));
    EXPECT_TRUE(ItemEnabled(run.dlg(), IDOK));

    for (const char *other : {"C:\\t\\game.ip", "C:\\t\\noextension", "C:\\t.ips\\game"}) {
        DropFiles(run.dlg(), Elsewhere(run), {other});
        EXPECT_EQ(other, ItemText(run.dlg(), IDC_SECOND_PATH));
    }
    EXPECT_EQ("C:\\p\\Fix.IpS", ItemText(run.dlg(), IDC_FIRST_PATH));
}

TEST_F(MainDialogDrop, ElsewhereInCreateModeOnlyMovesTheFocus)
{
    DialogRun run;
    SelectMode(run, MODE_CREATE);
    SetItemText(run.dlg(), IDC_FIRST_PATH, "C:\\old.bin");
    HGLOBAL block = DropFiles(run.dlg(), Elsewhere(run), {"C:\\fix.ips", "C:\\new.bin"});
    EXPECT_TRUE(Released(block));
    EXPECT_EQ("C:\\old.bin", ItemText(run.dlg(), IDC_FIRST_PATH));
    EXPECT_EQ("", ItemText(run.dlg(), IDC_SECOND_PATH));
    EXPECT_EQ(run.Item(IDC_STATUS), FocusOf(run.threadId()));
}

TEST_F(MainDialogDrop, OutsideTheClientAreaChangesNothing)
{
    DialogRun run;
    HGLOBAL block = DropFiles(run.dlg(), ItemCentre(run.dlg(), IDC_FIRST_PATH), {"C:\\fix.ips"}, TRUE);
    EXPECT_TRUE(Released(block));
    EXPECT_EQ("", ItemText(run.dlg(), IDC_FIRST_PATH));
    EXPECT_EQ("", ItemText(run.dlg(), IDC_SECOND_PATH));
}

class MainDialogOpenPatch : public MainDialogTest {};

TEST_F(MainDialogOpenPatch, SwitchesToApplyModeAndShowsTheTextAsItCame)
{
    DialogRun run;
    SelectMode(run, MODE_CREATE);
    SetItemText(run.dlg(), IDC_SECOND_PATH, "C:\\new.bin");
    Send(run.dlg(), WM_OPEN_PATCH, 0, (LPARAM) "\"C:\\a b\\fix.ips\"");
    EXPECT_EQ(MODE_APPLY, Send(run.Item(IDC_MODE), CB_GETCURSEL));
    EXPECT_EQ("\"C:\\a b\\fix.ips\"", ItemText(run.dlg(), IDC_FIRST_PATH));
    EXPECT_EQ("", ItemText(run.dlg(), IDC_SECOND_PATH));
    EXPECT_EQ("IPSﾌｧｲﾙ", ItemText(run.dlg(), IDC_FIRST_LABEL));

    Send(run.dlg(), WM_OPEN_PATCH, 0, 0);
    EXPECT_EQ("\"C:\\a b\\fix.ips\"", ItemText(run.dlg(), IDC_FIRST_PATH));
}

TEST_F(MainDialogOpenPatch, CopyDataIsTakenOnlyWhenOursAndTerminated)
{
    DialogRun run;
    char text[] = "C:\\x.ips";
    COPYDATASTRUCT data = {OPEN_PATCH_COPYDATA, sizeof text - 1, text};  // without its NUL
    Send(run.dlg(), WM_COPYDATA, 0, (LPARAM)&data);
    EXPECT_EQ("", ItemText(run.dlg(), IDC_FIRST_PATH));
    data.dwData = OPEN_PATCH_COPYDATA + 1;
    data.cbData = sizeof text;
    Send(run.dlg(), WM_COPYDATA, 0, (LPARAM)&data);
    EXPECT_EQ("", ItemText(run.dlg(), IDC_FIRST_PATH));
    data.dwData = OPEN_PATCH_COPYDATA;
    Send(run.dlg(), WM_COPYDATA, 0, (LPARAM)&data);
    EXPECT_EQ("C:\\x.ips", ItemText(run.dlg(), IDC_FIRST_PATH));
}

TEST_F(MainDialogOpenPatch, ARunningJobGoesOnWithItsOwnPaths)
{
    WriteApplyFiles(GoodPatch());
    DialogRun run;
    Start(run, dir / "fix.ips", dir / "game.bin");
    HWND question = FindOwnedDialog(run.dlg());
    ASSERT_NE(nullptr, question);
    Send(run.dlg(), WM_OPEN_PATCH, 0, (LPARAM) "C:\\forwarded.ips");
    EXPECT_EQ("C:\\forwarded.ips", ItemText(run.dlg(), IDC_FIRST_PATH));
    EXPECT_EQ("", ItemText(run.dlg(), IDC_SECOND_PATH));
    ASSERT_TRUE(PressButton(question, IDYES));
    HWND result = FindOwnedDialog(run.dlg());
    ASSERT_NE(nullptr, result);
    EXPECT_EQ(LoadIcon(NULL, IDI_INFORMATION), BoxIcon(result));
    ASSERT_TRUE(PressButton(result, IDOK));
    ASSERT_TRUE(WaitForIdle(run));
    EXPECT_TRUE(PathExists(dir / "fix.bin"));
}
