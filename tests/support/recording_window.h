#ifndef ZORVIK_TESTS_SUPPORT_RECORDING_WINDOW_H
#define ZORVIK_TESTS_SUPPORT_RECORDING_WINDOW_H

#include "platform/win32.h"

#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A message-only window of this thread whose messages go to procedure; the
// class is registered by the first call (later ones fail harmlessly).
inline HWND MessageWindow(const char *className, WNDPROC procedure)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, windowClass.hInstance, NULL);
}

// One message as the window saw it; the text is copied while the handler runs,
// as a real window must, since the sender's buffer is only valid until then.
struct Notification {
    UINT message;
    WPARAM wParam;
    bool hasText;
    std::string text;
    DWORD threadId;  // the thread that ran the window procedure

    std::string Describe() const;
};

// A window on a thread of its own, running a message loop, that records every
// message in the WM_USER range and answers WM_JOB_ASK from a script of answers
// (1 yes, 0 no; Yes once the script is used up).
class RecordingWindow {
public:
    explicit RecordingWindow(std::vector<int> answers = {});
    ~RecordingWindow() { Close(); }
    RecordingWindow(const RecordingWindow &) = delete;
    RecordingWindow &operator=(const RecordingWindow &) = delete;

    HWND handle() const { return window_; }
    DWORD threadId() const { return threadId_; }
    std::vector<Notification> notifications() const;
    // Ends the window's thread; later sends reach no window.
    void Close();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    mutable std::mutex lock_;
    std::vector<Notification> seen_;
    std::deque<int> answers_;
    HWND window_ = NULL;
    DWORD threadId_ = 0;
    std::promise<void> started_;  // fulfilled once window_ and threadId_ are set
    std::thread thread_;
};

#endif
