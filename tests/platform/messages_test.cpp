// Delivery rules of SendMessageA that the jobs rely on: the window procedure
// runs on the window's own thread, and the sender is released only after it
// has returned. A send to a window that is gone: the jobs' tests.
#include "notify/notifications.h"
#include "platform/win32.h"
#include "recording_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

// Asks 20 questions of the RecordingWindow given, each text in a buffer that
// is cleared once the send has returned. Returns how many sends returned
// before the answer was written and the question recorded.
static DWORD WINAPI AskQuestions(LPVOID parameter)
{
    RecordingWindow *window = (RecordingWindow *)parameter;
    DWORD early = 0;
    for (int i = 0; i < 20; ++i) {
        char text[48];
        wsprintfA(text, "question %d of thread %lu", i, (unsigned long)GetCurrentThreadId());
        const std::string asked = text;
        int answer = -1;
        SendMessageA(window->handle(), WM_JOB_ASK, (WPARAM)&answer, (LPARAM)text);
        text[0] = '\0';
        const std::vector<Notification> seen = window->notifications();
        auto recorded = [&](const Notification &one) { return one.text == asked; };
        if (answer != 1 || std::none_of(seen.begin(), seen.end(), recorded))
            ++early;
    }
    return early;
}

TEST(SendMessageDelivery, SendersOnSeveralThreadsAreServedOnTheWindowThreadBeforeTheyGoOn)
{
    RecordingWindow window;
    HANDLE threads[3];
    for (HANDLE &thread : threads) {
        thread = CreateThread(NULL, 0, AskQuestions, &window, 0, NULL);
        ASSERT_NE((HANDLE)NULL, thread);
    }
    for (HANDLE thread : threads) {
        DWORD early = 99;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
        EXPECT_TRUE(GetExitCodeThread(thread, &early));
        EXPECT_EQ(0u, early);
        EXPECT_TRUE(CloseHandle(thread));
    }
    const std::vector<Notification> seen = window.notifications();
    EXPECT_EQ(60u, seen.size());
    for (const Notification &one : seen)
        EXPECT_EQ(window.threadId(), one.threadId);
}

static LRESULT CALLBACK NoteThread(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_USER)
        return DefWindowProcA(window, message, wParam, lParam);
    *(DWORD *)lParam = GetCurrentThreadId();
    return (LRESULT)(wParam * 2);
}

// This thread runs no message loop: only a direct call can answer.
TEST(SendMessageDelivery, FromTheOwningThreadCallsTheProcedureDirectly)
{
    HWND window = MessageWindow("ZorvikTestNoteThread", NoteThread);
    DWORD ranOn = 0;
    EXPECT_EQ(10, SendMessageA(window, WM_USER, 5, (LPARAM)&ranOn));
    EXPECT_EQ(GetCurrentThreadId(), ranOn);
    EXPECT_TRUE(DestroyWindow(window));
}

// A window whose thread waits without a message loop, then ends while a send
// to the window is under way.
struct EndingOwner {
    std::atomic<HWND> window{NULL};
    std::atomic<bool> sending{false};
};

static DWORD WINAPI OwnWindowThenEnd(LPVOID parameter)
{
    EndingOwner *owner = (EndingOwner *)parameter;
    owner->window = MessageWindow("ZorvikTestEndingOwner", NoteThread);
    while (!owner->sending)
        Sleep(1);
    Sleep(100);  // the send has begun to wait by now
    return 0;
}

static DWORD WINAPI SendToOwner(LPVOID parameter)
{
    EndingOwner *owner = (EndingOwner *)parameter;
    DWORD ranOn = 0;
    owner->sending = true;
    return (DWORD)SendMessageA(owner->window, WM_USER, 5, (LPARAM)&ranOn);
}

TEST(SendMessageDelivery, ASenderIsReleasedWithZeroWhenTheWindowsThreadEnds)
{
    EndingOwner owner;
    HANDLE ownerThread = CreateThread(NULL, 0, OwnWindowThenEnd, &owner, 0, NULL);
    ASSERT_NE((HANDLE)NULL, ownerThread);
    while (owner.window == NULL)
        Sleep(1);
    HANDLE sender = CreateThread(NULL, 0, SendToOwner, &owner, 0, NULL);
    ASSERT_NE((HANDLE)NULL, sender);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(sender, 10000)) << "the sender was never released";
    DWORD result = 99;
    EXPECT_TRUE(GetExitCodeThread(sender, &result));
    EXPECT_EQ(0u, result);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ownerThread, INFINITE));
    EXPECT_TRUE(CloseHandle(sender) && CloseHandle(ownerThread));
}
