#include "internal.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// What a thread handle waits on: the thread's end and its exit code. The
// thread itself holds a reference, so closing the handle early is harmless.
class ThreadObject : public KernelObject {
public:
    void Finish(DWORD code)
    {
        std::lock_guard<std::mutex> guard(lock);
        exitCode = code;
        finished = true;
        ended.notify_all();
    }

    std::mutex lock;
    std::condition_variable ended;
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
    std::mutex idLock;
    std::condition_variable idKnown;
    DWORD id = 0;
    try {
        std::thread([object, start, parameter, &idLock, &idKnown, &id] {
            {
                std::lock_guard<std::mutex> guard(idLock);
                id = GetCurrentThreadId();
            }
            idKnown.notify_one();
            object->Finish(start(parameter));
        }).detach();
    } catch (const std::system_error &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    std::unique_lock<std::mutex> guard(idLock);
    idKnown.wait(guard, [&] { return id != 0; });
    if (threadId != NULL)
        *threadId = id;
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
        thread->ended.wait(guard, finished);
        return WAIT_OBJECT_0;
    }
    return thread->ended.wait_for(guard, std::chrono::milliseconds(milliseconds), finished) ? WAIT_OBJECT_0
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
