#include "recording_window.h"

#include "notify/notifications.h"

std::string Notification::Describe() const
{
    return std::to_string(message) + "(" + std::to_string(wParam) + ", " + (hasText ? "\"" + text + "\"" : "null") +
           ")";
}

RecordingWindow::RecordingWindow(std::vector<int> answers) : answers_(answers.begin(), answers.end())
{
    thread_ = std::thread([this] {
        window_ = MessageWindow("ZorvikRecordingWindow", Procedure);
        SetWindowLongPtrA(window_, GWLP_USERDATA, (LONG_PTR)this);
        threadId_ = GetCurrentThreadId();
        started_.set_value();
        MSG msg;
        while (GetMessageA(&msg, NULL, 0, 0) > 0)
            DispatchMessageA(&msg);
    });
    started_.get_future().wait();
}

void RecordingWindow::Close()
{
    if (!thread_.joinable())
        return;
    PostMessageA(window_, WM_CLOSE, 0, 0);
    thread_.join();
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

    Notification seen = {message, wParam, lParam != 0, lParam != 0 ? (const char *)lParam : "", GetCurrentThreadId()};
    std::lock_guard<std::mutex> guard(self->lock_);
    if (message == WM_JOB_ASK) {
        int answer = self->answers_.empty() ? 1 : self->answers_.front();
        if (!self->answers_.empty())
            self->answers_.pop_front();
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
