// Delivery rules of SendMessageA that the jobs rely on: the window procedure
// runs on the window's own thread, the sender is released only after it has
// returned, and a window that is gone answers at once.
#include "platform/win32.h"
#include "recording_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

const UINT kWork = WM_USER + 50;

std::atomic<int> inside{0};
std::atomic<int> overlaps{0};

// Doubles wParam slowly, noting whether two calls ever overlap.
LRESULT CALLBACK SlowDoubler(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        DestroyWindow(window);
        PostQuitMessage(0);
        return 0;
    }
    if (message != kWork)
        return DefWindowProcA(window, message, wParam, lParam);
    if (inside.fetch_add(1) != 0)
        overlaps++;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    *(DWORD *)lParam = GetCurrentThreadId();
    inside.fetch_sub(1);
    return (LRESULT)(wParam * 2);
}

// A window with SlowDoubler on a thread of its own, until destroyed.
class DoublerWindow {
public:
    DoublerWindow()
    {
        std::atomic<bool> ready{false};
        thread_ = std::thread([&] {
            WNDCLASSA windowClass = {};
            windowClass.lpfnWndProc = SlowDoubler;
            windowClass.hInstance = GetModuleHandleA(NULL);
            windowClass.lpszClassName = "ZorvikTestDoubler";
            RegisterClassA(&windowClass);
            window_ = CreateWindowExA(0, "ZorvikTestDoubler", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                      GetModuleHandleA(NULL), NULL);
            threadId_ = GetCurrentThreadId();
            ready = true;
            MSG msg;
            while (GetMessageA(&msg, NULL, 0, 0) > 0)
                DispatchMessageA(&msg);
        });
        while (!ready)
            std::this_thread::yield();
    }
    ~DoublerWindow()
    {
        PostMessageA(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    HWND handle() const { return window_; }
    DWORD threadId() const { return threadId_; }

private:
    std::thread thread_;
    HWND window_ = NULL;
    DWORD threadId_ = 0;
};

}  // namespace

TEST(SendMessageDelivery, RunsOnTheWindowThreadAndWaitsForTheResult)
{
    DoublerWindow window;
    DWORD ranOn = 0;
    EXPECT_EQ(42, SendMessageA(window.handle(), kWork, 21, (LPARAM)&ranOn));
    EXPECT_EQ(window.threadId(), ranOn);
    EXPECT_NE(GetCurrentThreadId(), ranOn);
}

TEST(SendMessageDelivery, ManySendersAreServedOneAtATime)
{
    DoublerWindow window;
    overlaps = 0;
    std::atomic<int> wrong{0};
    std::vector<std::thread> senders;
    for (int s = 0; s < 4; ++s) {
        senders.emplace_back([&, s] {
            for (int i = 0; i < 25; ++i) {
                DWORD ranOn = 0;
                WPARAM value = (WPARAM)(s * 1000 + i);
                if (SendMessageA(window.handle(), kWork, value, (LPARAM)&ranOn) != (LRESULT)(value * 2) ||
                    ranOn != window.threadId())
                    wrong++;
            }
        });
    }
    for (std::thread &sender : senders)
        sender.join();
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(0, overlaps.load());
}

TEST(SendMessageDelivery, FromTheOwningThreadCallsTheProcedureDirectly)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = SlowDoubler;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "ZorvikTestDoublerHere";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "ZorvikTestDoublerHere", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                  GetModuleHandleA(NULL), NULL);
    ASSERT_NE((HWND)NULL, window);
    DWORD ranOn = 0;
    EXPECT_EQ(10, SendMessageA(window, kWork, 5, (LPARAM)&ranOn));
    EXPECT_EQ(GetCurrentThreadId(), ranOn);
    EXPECT_TRUE(DestroyWindow(window));
}

TEST(SendMessageDelivery, TextIsReadableWhileTheWindowHandlesIt)
{
    RecordingWindow window;
    for (int i = 0; i < 20; ++i) {
        char text[16];
        wsprintfA(text, "step %d", i);
        SendMessageA(window.handle(), WM_USER + 3, (WPARAM)i, (LPARAM)text);
        text[0] = '\0';  // the window must have copied it already
    }
    std::vector<Notification> seen = window.notifications();
    ASSERT_EQ(20u, seen.size());
    EXPECT_EQ("step 0", seen[0].text);
    EXPECT_EQ("step 19", seen[19].text);
    EXPECT_EQ(window.threadId(), seen[19].threadId);
}

TEST(SendMessageDelivery, AWindowWhoseThreadHasEndedAnswersZeroAtOnce)
{
    RecordingWindow window;
    HWND gone = window.handle();
    window.Close();
    EXPECT_FALSE(IsWindow(gone));
    EXPECT_EQ(0, SendMessageA(gone, WM_USER + 4, 0, 0));
    EXPECT_TRUE(window.notifications().empty());
}

static DWORD WINAPI SleepThenIncrement(LPVOID parameter)
{
    Sleep(20);
    return *(DWORD *)parameter + 1;
}

TEST(ThreadLifetime, WaitReturnsTheExitCodeAfterTheThreadEnds)
{
    DWORD start = 41;
    HANDLE thread = CreateThread(NULL, 0, SleepThenIncrement, &start, 0, NULL);
    ASSERT_NE((HANDLE)NULL, thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(42u, code);
    EXPECT_TRUE(CloseHandle(thread));
}
