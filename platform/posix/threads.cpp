#include "errors.h"
#include "handles.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// What a thread handle waits on: the thread's id once it runs, its end and its
// exit code. The thread itself holds a reference, so neither closing the handle
// early nor its creator returning at once leaves it anything dangling.
class ThreadObject : public KernelObject {
public:
    void Start()
    {
        std::lock_guard<std::mutex> guard(lock);
        id = GetCurrentThreadId();
        changed.notify_all();
    }
    void Finish(DWORD code)
    {
        std::lock_guard<std::mutex> guard(lock);
        exitCode = code;
        finished = true;
        changed.notify_all();
    }

    std::mutex lock;
    std::condition_variable changed;  // the id is known, or the thread has ended
    DWORD id = 0;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
};

}  // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, size_t stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId)
{
    (void)security;
    (void)stackSize;
    (void)flags;
    std::shared_ptr<ThreadObject> object = std::make_shared<ThreadObject>();
    try {
        // The new thread touches nothing of this frame: it may still be
        // running Start when this function has returned.
        std::thread([object, start, parameter] {
            object->Start();
            object->Finish(start(parameter));
        }).detach();
    } catch (const std::system_error &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    std::unique_lock<std::mutex> guard(object->lock);
    object->changed.wait(guard, [&] { return object->id != 0; });
    if (threadId != NULL)
        *threadId = object->id;
    guard.unlock();
    return RegisterHandle(object);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    std::shared_ptr<ThreadObject> thread = LookupHandleAs<ThreadObject>(handle);
    if (thread == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    std::unique_lock<std::mutex> guard(thread->lock);
    auto finished = [&] { return thread->finished; };
    if (milliseconds == INFINITE) {
        thread->changed.wait(guard, finished);
        return WAIT_OBJECT_0;
    }
    return thread->changed.wait_for(guard, std::chrono::milliseconds(milliseconds), finished) ? WAIT_OBJECT_0
                                                                                           : WAIT_TIMEOUT;
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode)
{
    std::shared_ptr<ThreadObject> thread = LookupHandleAs<ThreadObject>(handle);
    if (thread == nullptr)
        return FailWith(ERROR_INVALID_HANDLE);
    std::lock_guard<std::mutex> guard(thread->lock);
    *exitCode = thread->exitCode;
    return TRUE;
}

DWORD GetCurrentThreadId(void)
{
    return (DWORD)gettid();
}

void Sleep(DWORD milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
