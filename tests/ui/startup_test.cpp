// zorvik.exe itself: started from a copy in a temporary folder, so that its
// zorvik.ini lands there, and driven across processes.
#include <gtest/gtest.h>

#include "bytes.h"
#include "settings/settings.h"
#include "temp_dir.h"
#include "ui/resource.h"
#include "ui_driver.h"

// One started zorvik.exe; ended by force if a test leaves it running.
struct Program {
    Program(const std::string &exe, const std::string &tail)
    {
        std::string line = "\"" + exe + "\" " + tail;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        EXPECT_TRUE(CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info)) << line;
        CloseHandle(info.hThread);
    }

    ~Program()
    {
        TerminateProcess(info.hProcess, 1);  // fails, and changes nothing, once it has ended
        WaitForSingleObject(info.hProcess, kWaitMs);
        CloseHandle(info.hProcess);
    }

    bool EndedWithZero()
    {
        DWORD code = 1;
        return WaitForSingleObject(info.hProcess, kWaitMs) == WAIT_OBJECT_0 &&
               GetExitCodeProcess(info.hProcess, &code) && code == 0;
    }

    PROCESS_INFORMATION info = {};
};

class Startup : public TempDirTest {
protected:
    void SetUp() override { ASSERT_TRUE(CopyFileA(ZORVIK_EXE, exe.c_str(), FALSE)) << ZORVIK_EXE; }

    std::string exe = dir / "zorvik.exe", ini = dir / "zorvik.ini";
};

TEST_F(Startup, TheTailArrivesInTheFirstFieldWithoutQuotesAndCutToAPath)
{
    const std::pair<std::string, std::string> tailsAndFields[] = {
        {"", ""},
        {"\"C:\\My Patches\\fix 1.ips\" \"D:\\game.bin\"", "C:\\My Patches\\fix 1.ips D:\\game.bin"},
        {std::string(300, 'a'), std::string(PATH_BUFFER_SIZE - 1, 'a')},
    };
    for (const auto &start : tailsAndFields) {
        SCOPED_TRACE(start.first);
        Program program(exe, start.first);
        HWND window = FindDialog(NULL, kWaitMs, program.info.dwProcessId);
        ASSERT_NE(nullptr, window);
        EXPECT_EQ(MODE_APPLY, Send(GetDlgItem(window, IDC_MODE), CB_GETCURSEL));
        EXPECT_EQ(start.second, ItemText(window, IDC_FIRST_PATH));
        EXPECT_EQ("", ItemText(window, IDC_SECOND_PATH));
        PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
        EXPECT_TRUE(program.EndedWithZero());
    }
}

// The running instance's question box is also a "#32770" titled "Zorvik", above
// its dialog: the hand-over must still reach the dialog. Only the first instance
// writes the settings, at its end: all five keys, and the file's other lines kept.
TEST_F(Startup, ASecondInstanceHandsItsTailOverWithItsQuotesWhileAJobAsks)
{
    const Bytes settings = ToBytes("; kept comment\r\n[OTHER]\r\nKEY=value\r\n[INITDIR]\r\nP1M0=C:\\patches\r\n"
                                   "[OPTION]\r\nALWAYSONTOP=5\r\n");
    WriteFileBytes(ini, settings);
    WriteFileBytes(dir / "old.bin", ToBytes("abc"));
    WriteFileBytes(dir / "new.bin", ToBytes("abd"));
    Program first(exe, "");
    HWND window = FindDialog(NULL, kWaitMs, first.info.dwProcessId);
    ASSERT_NE(nullptr, window);
    EXPECT_NE(0, GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    Command(window, IDM_ALWAYS_ON_TOP);
    Command(window, IDM_MODE_CREATE);
    SetItemText(window, IDC_FIRST_PATH, dir / "old.bin");
    SetItemText(window, IDC_SECOND_PATH, dir / "new.bin");
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    HWND question = FindDialog(window);
    ASSERT_NE(nullptr, question);

    EXPECT_TRUE(Program(exe, "").EndedWithZero());
    EXPECT_EQ(MODE_CREATE, Send(GetDlgItem(window, IDC_MODE), CB_GETCURSEL));
    EXPECT_EQ(dir / "old.bin", ItemText(window, IDC_FIRST_PATH));
    EXPECT_TRUE(Program(exe, "\"C:\\x y\\fix.ips\"").EndedWithZero());
    EXPECT_EQ(MODE_APPLY, Send(GetDlgItem(window, IDC_MODE), CB_GETCURSEL));
    EXPECT_EQ("\"C:\\x y\\fix.ips\"", ItemText(window, IDC_FIRST_PATH));
    EXPECT_EQ("", ItemText(window, IDC_SECOND_PATH));

    // The job goes on with its own paths.
    ASSERT_TRUE(PressButton(question, IDYES));
    HWND result = FindDialog(window);
    ASSERT_NE(nullptr, result);
    EXPECT_NE(std::string::npos, BoxText(result).find(dir / "new.ips"));
    ASSERT_TRUE(PressButton(result, IDOK));
    EXPECT_TRUE(PathExists(dir / "new.ips"));

    EXPECT_EQ(settings, ReadFileBytes(ini)) << "a second instance wrote the settings";
    PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    ASSERT_TRUE(first.EndedWithZero());
    Bytes bytes = ReadFileBytes(ini);
    std::string text(bytes.begin(), bytes.end());
    for (const char *line : {"; kept comment\r\n", "KEY=value\r\n", "P1M0=C:\\patches\r\n", "P2M0=\r\n", "P1M1=\r\n",
                             "P2M1=\r\n", "ALWAYSONTOP=0\r\n"})
        EXPECT_NE(std::string::npos, text.find(line)) << line;
}
