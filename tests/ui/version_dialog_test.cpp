// The version dialog opened from the main dialog's menu, and CenterWindow.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "ui/center_window.h"
#include "ui/resource.h"
#include "ui_driver.h"

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
