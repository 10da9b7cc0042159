#include <gtest/gtest.h>

#include <stdlib.h>

#include "dialog_run.h"
#include "ui/center_window.h"
#include "ui/resource.h"
#include "ui_driver.h"

static POINT Centre(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

static void ExpectSameCentre(HWND outer, HWND inner)
{
    POINT a = Centre(outer), b = Centre(inner);
    EXPECT_LE(abs(a.x - b.x), 1) << a.x << " " << b.x;
    EXPECT_LE(abs(a.y - b.y), 1) << a.y << " " << b.y;
}

// Opens the version dialog from the menu of run's dialog.
static HWND OpenVersionDialog(DialogRun &run)
{
    PostMessageA(run.dlg(), WM_COMMAND, IDM_VERSION, 0);
    return FindOwnedDialog(run.dlg());
}

TEST(VersionDialog, ShowsTheVersionLineCentredOverTheMainDialog)
{
    DialogRun run;
    HWND box = OpenVersionDialog(run);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("ﾊﾞｰｼﾞｮﾝ情報", Text(box));
    EXPECT_EQ("Zorvik 0.64 Teldra", ItemText(box, IDC_VERSION_TEXT));
    EXPECT_EQ(0, GetWindowLongA(box, GWL_STYLE) & WS_SYSMENU);
    ExpectSameCentre(run.dlg(), box);
    SaveScreenshot(box, "version-dialog");
}

TEST(VersionDialog, EscapeLeavesItOpenAndEnterClosesIt)
{
    DialogRun run;
    HWND box = OpenVersionDialog(run);
    ASSERT_NE(nullptr, box);
    Send(box, WM_COMMAND, IDCANCEL);  // what Escape sends
    EXPECT_TRUE(IsWindow(box));
    PostMessageA(GetDlgItem(box, IDOK), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
}

TEST(VersionDialog, CentresOverAMainDialogPartlyOffTheScreen)
{
    DialogRun run;
    SetWindowPos(run.dlg(), NULL, -200, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    HWND box = OpenVersionDialog(run);
    ASSERT_NE(nullptr, box);
    RECT rect;
    GetWindowRect(box, &rect);
    EXPECT_LT(rect.left, 0);
    ExpectSameCentre(run.dlg(), box);
}

TEST(CenterWindow, WithoutParentCentresOnTheWholeDesktop)
{
    DialogRun run;
    CenterWindow(NULL, run.dlg());
    ExpectSameCentre(GetDesktopWindow(), run.dlg());
}
