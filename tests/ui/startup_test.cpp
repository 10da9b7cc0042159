// zorvik.exe itself: started from a copy in a temporary folder, so that its
// zorvik.ini lands there, and driven across processes.
#include <gtest/gtest.h>

#include "bytes.h"
#include "temp_dir.h"
#include "ui/main_dialog.h"
#include "ui/resource.h"
#include "ui_driver.h"

struct ProcessDialogSearch {
    DWORD process;
    HWND found;
};

static BOOL CALLBACK MatchProcessDialog(HWND window, LPARAM param)
{
    ProcessDialogSearch *search = (ProcessDialogSearch *)param;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->process && IsWindowVisible(window) && ClassName(window) == MAIN_DIALOG_CLASS &&
        Text(window) == MAIN_DIALOG_TITLE) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// One started zorvik.exe; ended by force if a test leaves it running.
class Program {
public:
    Program(const std::string &exe, const std::string &tail)
    {
        std::string line = "\"" + exe + "\"" + (tail.empty() ? "" : " " + tail);
        STARTUPINFOA startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        ZeroMemory(&info_, sizeof info_);
        EXPECT_TRUE(CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info_)) << line;
    }

    ~Program()
    {
        if (info_.hProcess == NULL)
            return;
        if (!Ended(0)) {
            TerminateProcess(info_.hProcess, 1);
            WaitForSingleObject(info_.hProcess, kWaitMs);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }

    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    // The main dialog of this process, once it shows.
    HWND Window()
    {
        ProcessDialogSearch search = {info_.dwProcessId, NULL};
        WaitUntil([&] {
            EnumWindows(MatchProcessDialog, (LPARAM)&search);
            return search.found != NULL;
        });
        EXPECT_NE(nullptr, search.found) << "no main dialog";
        return search.found;
    }

    bool Ended(DWORD timeoutMs) { return WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0; }

    DWORD ExitCode()
    {
        DWORD code = 0xDEADBEEF;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

    // Exit from the menu; true when the process ended with 0.
    bool Exit(HWND window)
    {
        PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
        return Ended(kWaitMs) && ExitCode() == 0;
    }

private:
    PROCESS_INFORMATION info_;
};

class Startup : public TempDirTest {
protected:
    void SetUp() override
    {
        exe = dir / "zorvik.exe";
        ini = dir / "zorvik.ini";
        ASSERT_TRUE(CopyFileA(ZORVIK_EXE, exe.c_str(), FALSE)) << ZORVIK_EXE;
    }

    std::string Setting(const char *section, const char *key)
    {
        char value[PATH_BUFFER_SIZE];
        GetPrivateProfileStringA(section, key, "(missing)", value, sizeof value, ini.c_str());
        return value;
    }

    std::string exe;
    std::string ini;
};

TEST_F(Startup, TheProgramCarriesItsVersion)
{
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(exe.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, (DWORD)info.size(), info.data()));
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", (void **)&fixed, &size));
    EXPECT_EQ(MAKELONG(64, 0), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);
    EXPECT_EQ((DWORD)VOS__WINDOWS32, fixed->dwFileOS);
    WORD *translation = NULL;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", (void **)&translation, &size));
    EXPECT_EQ(0x0411, translation[0]);
    EXPECT_EQ(1200, translation[1]);
    auto text = [&](const char *name) {
        char *value = NULL;
        std::string key = std::string("\\StringFileInfo\\041104b0\\") + name;
        return VerQueryValueA(info.data(), key.c_str(), (void **)&value, &size) ? std::string(value) : "(none)";
    };
    EXPECT_EQ("zorvik Teldra", text("FileDescription"));
    EXPECT_EQ(" zorvik Teldra", text("ProductName"));
    EXPECT_EQ("0, 64, 0, 1", text("FileVersion"));
    EXPECT_EQ("0, 64, 0, 1", text("ProductVersion"));
}

TEST_F(Startup, WithoutATailOpensEmptyInApplyMode)
{
    Program program(exe, "");
    HWND window = program.Window();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ("", ItemText(window, IDC_FIRST_PATH));
    EXPECT_EQ("", ItemText(window, IDC_SECOND_PATH));
    EXPECT_EQ(0, Send(GetDlgItem(window, IDC_MODE), CB_GETCURSEL));
    EXPECT_EQ("適用(&P)", ItemText(window, IDOK));
    EXPECT_TRUE(program.Exit(window));
}

TEST_F(Startup, TheTailArrivesWithoutItsQuotes)
{
    Program program(exe, "\"C:\\My Patches\\fix 1.ips\" \"D:\\game.bin\"");
    HWND window = program.Window();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ("C:\\My Patches\\fix 1.ips D:\\game.bin", ItemText(window, IDC_FIRST_PATH));
    EXPECT_EQ("", ItemText(window, IDC_SECOND_PATH));
    EXPECT_TRUE(program.Exit(window));
}

TEST_F(Startup, ATailLongerThanAPathIsCut)
{
    Program program(exe, std::string(300, 'a'));
    HWND window = program.Window();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(std::string(PATH_BUFFER_SIZE - 1, 'a'), ItemText(window, IDC_FIRST_PATH));
    EXPECT_TRUE(program.Exit(window));
}

TEST_F(Startup, ASecondInstanceHandsItsTailOverWithItsQuotes)
{
    Program first(exe, "");
    HWND window = first.Window();
    ASSERT_NE(nullptr, window);
    Command(window, IDM_MODE_CREATE);
    SetItemText(window, IDC_SECOND_PATH, "C:\\new.bin");

    Program second(exe, "\"C:\\x y\\fix.ips\"");
    ASSERT_TRUE(second.Ended(kWaitMs));
    EXPECT_EQ(0u, second.ExitCode());
    EXPECT_EQ(0, Send(GetDlgItem(window, IDC_MODE), CB_GETCURSEL));
    EXPECT_EQ("\"C:\\x y\\fix.ips\"", ItemText(window, IDC_FIRST_PATH));
    EXPECT_EQ("", ItemText(window, IDC_SECOND_PATH));
    EXPECT_EQ("適用(&P)", ItemText(window, IDOK));
    EXPECT_FALSE(PathExists(ini)) << "only the first instance writes the settings, at its end";

    EXPECT_TRUE(first.Exit(window));
    EXPECT_TRUE(PathExists(ini));
}

TEST_F(Startup, AHandOverReachesTheDialogWhileItsJobAsks)
{
    WriteFileBytes(dir / "fix.ips", BuildPatch({DataRecord(0, ToBytes("x"))}));
    WriteFileBytes(dir / "game.bin", ToBytes("abc"));
    Program first(exe, "");
    HWND window = first.Window();
    ASSERT_NE(nullptr, window);
    SetItemText(window, IDC_FIRST_PATH, dir / "fix.ips");
    SetItemText(window, IDC_SECOND_PATH, dir / "game.bin");
    PostCommand(window, IDOK, BN_CLICKED);
    HWND question = FindOwnedDialog(window);  // also a "#32770" titled "Zorvik"
    ASSERT_NE(nullptr, question);

    Program second(exe, "C:\\forwarded.ips");
    ASSERT_TRUE(second.Ended(kWaitMs));
    EXPECT_EQ("C:\\forwarded.ips", ItemText(window, IDC_FIRST_PATH));
    EXPECT_EQ("", ItemText(window, IDC_SECOND_PATH));
    ASSERT_TRUE(PressButton(question, IDNO));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(window, IDC_MODE)) != FALSE; }));
    EXPECT_TRUE(first.Exit(window));
}

TEST_F(Startup, ASecondInstanceWithoutTailChangesNothing)
{
    Program first(exe, "C:\\keep.ips");
    HWND window = first.Window();
    ASSERT_NE(nullptr, window);
    Program second(exe, "");
    ASSERT_TRUE(second.Ended(kWaitMs));
    EXPECT_EQ(0u, second.ExitCode());
    EXPECT_EQ("C:\\keep.ips", ItemText(window, IDC_FIRST_PATH));
    EXPECT_TRUE(first.Exit(window));
}

TEST_F(Startup, SettingsAreWrittenAtExitAndOtherLinesKept)
{
    WriteFileBytes(ini, ToBytes("; kept comment\r\n[OTHER]\r\nKEY=value\r\n[INITDIR]\r\nP1M0=C:\\patches\r\n"
                                "[OPTION]\r\nALWAYSONTOP=5\r\n"));
    Program program(exe, "");
    HWND window = program.Window();
    ASSERT_NE(nullptr, window);
    EXPECT_NE(0, GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    ASSERT_TRUE(program.Exit(window));

    EXPECT_EQ("C:\\patches", Setting("INITDIR", "P1M0"));
    EXPECT_EQ("", Setting("INITDIR", "P2M0"));
    EXPECT_EQ("", Setting("INITDIR", "P1M1"));
    EXPECT_EQ("", Setting("INITDIR", "P2M1"));
    EXPECT_EQ("5", Setting("OPTION", "ALWAYSONTOP")) << "never toggled, so written back as read";
    EXPECT_EQ("value", Setting("OTHER", "KEY"));
    Bytes text = ReadFileBytes(ini);
    EXPECT_NE(std::string::npos, std::string(text.begin(), text.end()).find("; kept comment"));
}

TEST_F(Startup, AToggledAlwaysOnTopIsWrittenAsZeroOrOne)
{
    WriteFileBytes(ini, ToBytes("[OPTION]\r\nALWAYSONTOP=5\r\n"));
    Program program(exe, "");
    HWND window = program.Window();
    ASSERT_NE(nullptr, window);
    Command(window, IDM_ALWAYS_ON_TOP);
    EXPECT_EQ(0, GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    ASSERT_TRUE(program.Exit(window));
    EXPECT_EQ("0", Setting("OPTION", "ALWAYSONTOP"));
}
