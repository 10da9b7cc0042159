#include "recording_window.h"

#include "notify/notifications.h"

#include <condition_variable>

static const char kClassName[] = "ZorvikRecordingWindow";

std::string Notification::Describe() const
{
    return std::to_string(message) + "(" + std::to_string(wParam) + ", " + (hasText ? "\"" + text + "\"" : "null") +
           ")";
}

RecordingWindow::RecordingWindow(std::vector<int> answers) : answers_(answers.begin(), answers.end())
{
    std::mutex readyLock;
    std::condition_variable ready;
    bool started = false;
    thread_ = std::thread([&] {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleA(NULL);
        windowClass.lpszClassName = kClassName;
        RegisterClassA(&windowClass);  // fails harmlessly once the class exists
        HWND window = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                      GetModuleHandleA(NULL), NULL);
        SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)this);
        {
            std::lock_guard<std::mutex> guard(readyLock);
            window_ = window;
            threadId_ = GetCurrentThreadId();
            started = true;
        }
        ready.notify_one();
        Run();
    });
    std::unique_lock<std::mutex> guard(readyLock);
    ready.wait(guard, [&] { return started; });
}

RecordingWindow::~RecordingWindow()
{
    Close();
}

void RecordingWindow::Close()
{
    if (!thread_.joinable())
        return;
    PostMessageA(window_, WM_CLOSE, 0, 0);
    thread_.join();
}

void RecordingWindow::Run()
{
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

LRESULT CALLBACK RecordingWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    RecordingWindow *self = (RecordingWindow *)GetWindowLongPtrA(window, GWLP_USERDATA);
    if (message == WM_CLOSE) {
        DestroyWindow(window);
        PostQuitMessage(0);
        return 0;
    }
    if (self == NULL || message < WM_USER)
        return DefWindowProcA(window, message, wParam, lParam);

    Notification seen;
    seen.message = message;
    seen.wParam = message == WM_JOB_ASK ? 0 : wParam;
    seen.hasText = lParam != 0;
    seen.text = lParam != 0 ? std::string((const char *)lParam) : std::string();
    seen.threadId = GetCurrentThreadId();
    std::lock_guard<std::mutex> guard(self->lock_);
    if (message == WM_JOB_ASK) {
        int answer = 1;
        if (!self->answers_.empty()) {
            answer = self->answers_.front();
            self->answers_.pop_front();
        }
        *(int *)wParam = answer;
        seen.wParam = (WPARAM)answer;  // recorded as the answer given
    }
    self->seen_.push_back(seen);
    return 0;
}

std::vector<Notification> RecordingWindow::notifications() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return seen_;
}

std::vector<UINT> RecordingWindow::messages() const
{
    std::vector<UINT> result;
    for (const Notification &seen : notifications())
        result.push_back(seen.message);
    return result;
}
