// Message-only windows with Windows' delivery rules: a window belongs to the
// thread that created it; messages sent from other threads wait in that
// thread's queue until it next retrieves messages, and the sender is released
// only when the window procedure has returned.
#include "errors.h"

#include <assert.h>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

struct SentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
    bool done;
};

struct ThreadQueue {
    std::mutex lock;
    std::condition_variable changed;  // new message, or a sent message handled
    std::deque<SentMessage *> sent;   // owned by the senders, who wait for done
    std::deque<MSG> posted;
    bool quit = false;
    int quitCode = 0;
    bool ended = false;
    DWORD threadId = 0;
};

struct Window {
    WNDPROC procedure;
    std::shared_ptr<ThreadQueue> owner;
    LONG_PTR userData = 0;
};

struct WindowTable {
    std::mutex lock;
    uintptr_t next = 0x10000;
    std::unordered_map<uintptr_t, std::shared_ptr<Window>> windows;
    std::map<std::string, WNDPROC> classes;
};

WindowTable &Windows()
{
    static WindowTable *table = new WindowTable;  // outlives threads that end during exit
    return *table;
}

std::shared_ptr<Window> FindWindowObject(HWND window)
{
    WindowTable &table = Windows();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.windows.find((uintptr_t)window);
    return found == table.windows.end() ? nullptr : found->second;
}

void ReleaseSenders(ThreadQueue &queue)
{
    for (SentMessage *waiting : queue.sent) {
        waiting->result = 0;
        waiting->done = true;
    }
    queue.sent.clear();
    queue.changed.notify_all();
}

// When a thread ends, its windows go with it, and anyone still waiting for it
// to handle a sent message is released with 0, as Windows does.
struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder()
    {
        if (!queue)
            return;
        WindowTable &table = Windows();
        {
            std::lock_guard<std::mutex> guard(table.lock);
            for (auto it = table.windows.begin(); it != table.windows.end();)
                it = it->second->owner == queue ? table.windows.erase(it) : std::next(it);
        }
        std::lock_guard<std::mutex> guard(queue->lock);
        queue->ended = true;
        ReleaseSenders(*queue);
    }
};

thread_local QueueHolder currentQueue;

std::shared_ptr<ThreadQueue> CurrentQueue()
{
    if (!currentQueue.queue) {
        currentQueue.queue = std::make_shared<ThreadQueue>();
        currentQueue.queue->threadId = GetCurrentThreadId();
    }
    return currentQueue.queue;
}

LRESULT CallProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<Window> object = FindWindowObject(window);
    return object ? object->procedure(window, message, wParam, lParam) : 0;
}

}  // namespace

HINSTANCE GetModuleHandleA(LPCSTR moduleName)
{
    (void)moduleName;
    static char module;
    return (HINSTANCE)&module;
}

ATOM RegisterClassA(const WNDCLASSA *windowClass)
{
    WindowTable &table = Windows();
    std::lock_guard<std::mutex> guard(table.lock);
    if (!table.classes.emplace(windowClass->lpszClassName, windowClass->lpfnWndProc).second) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    return (ATOM)(0xC000 + table.classes.size());
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    (void)exStyle, (void)windowName, (void)style, (void)x, (void)y, (void)width, (void)height;
    (void)parent, (void)menu, (void)instance, (void)param;
    std::shared_ptr<Window> window = std::make_shared<Window>();
    window->owner = CurrentQueue();
    WindowTable &table = Windows();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.classes.find(className);
    if (found == table.classes.end()) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return NULL;
    }
    window->procedure = found->second;
    uintptr_t handle = table.next;
    table.next += 2;
    table.windows[handle] = window;
    return (HWND)handle;
}

BOOL DestroyWindow(HWND window)
{
    WindowTable &table = Windows();
    std::lock_guard<std::mutex> guard(table.lock);
    if (table.windows.erase((uintptr_t)window) == 0)
        return FailWith(ERROR_INVALID_WINDOW_HANDLE);
    return TRUE;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value)
{
    assert(index == GWLP_USERDATA && "only GWLP_USERDATA is kept");
    std::shared_ptr<Window> object = FindWindowObject(window);
    if (object == nullptr || index != GWLP_USERDATA)
        return FailWith(object == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    LONG_PTR previous = object->userData;
    object->userData = value;
    return previous;
}

LONG_PTR GetWindowLongPtrA(HWND window, int index)
{
    std::shared_ptr<Window> object = FindWindowObject(window);
    if (object == nullptr || index != GWLP_USERDATA)
        return FailWith(object == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return object->userData;
}

// The windows made here act on every message that calls for an action, and
// none of them is ever closed: what they leave to this procedure needs nothing.
LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<Window> object = FindWindowObject(window);
    if (object == nullptr)
        return FailWith(ERROR_INVALID_WINDOW_HANDLE);
    ThreadQueue &owner = *object->owner;
    if (owner.threadId == GetCurrentThreadId())
        return object->procedure(window, message, wParam, lParam);

    SentMessage sent = {window, message, wParam, lParam, 0, false};
    std::unique_lock<std::mutex> guard(owner.lock);
    if (owner.ended)
        return FailWith(ERROR_INVALID_WINDOW_HANDLE);
    owner.sent.push_back(&sent);
    owner.changed.notify_all();
    owner.changed.wait(guard, [&] { return sent.done; });
    return sent.result;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<Window> object = FindWindowObject(window);
    if (object == nullptr)
        return FailWith(ERROR_INVALID_WINDOW_HANDLE);
    ThreadQueue &owner = *object->owner;
    std::lock_guard<std::mutex> guard(owner.lock);
    MSG msg = {window, message, wParam, lParam, 0, {0, 0}};
    owner.posted.push_back(msg);
    owner.changed.notify_all();
    return TRUE;
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax)
{
    (void)window;
    (void)filterMin;
    (void)filterMax;
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    std::unique_lock<std::mutex> guard(queue->lock);
    for (;;) {
        if (!queue->sent.empty()) {
            SentMessage *sent = queue->sent.front();
            queue->sent.pop_front();
            guard.unlock();
            LRESULT result = CallProcedure(sent->window, sent->message, sent->wParam, sent->lParam);
            guard.lock();
            sent->result = result;
            sent->done = true;
            queue->changed.notify_all();
            continue;
        }
        if (!queue->posted.empty()) {
            *msg = queue->posted.front();
            queue->posted.pop_front();
            return TRUE;
        }
        if (queue->quit) {
            queue->quit = false;
            *msg = MSG{NULL, WM_QUIT, (WPARAM)queue->quitCode, 0, 0, {0, 0}};
            return FALSE;
        }
        queue->changed.wait(guard);
    }
}

BOOL TranslateMessage(const MSG *msg)
{
    (void)msg;
    return FALSE;
}

LRESULT DispatchMessageA(const MSG *msg)
{
    return CallProcedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode)
{
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    std::lock_guard<std::mutex> guard(queue->lock);
    queue->quit = true;
    queue->quitCode = exitCode;
    queue->changed.notify_all();
}
