#include "engine/read_ahead.h"

#include "platform/threads.h"

#include <system_error>

// A slot's bytes begin on a page of their own, with the byte before them in
// the page before: the system's copy into a buffer that lies at another
// offset within its page than the file's bytes can be several times slower.
static const size_t kPage = 4096;

static size_t RoundToPages(size_t size)
{
    return (size + kPage - 1) / kPage * kPage;
}

// Where window index begins and how long it is under plan.
static void Locate(const WindowPlan &plan, uint64_t bothWindows, uint64_t index, Window *window)
{
    const bool both = index < bothWindows;
    const uint64_t at = both ? index * plan.readSize : plan.bothSize + (index - bothWindows) * plan.readSize;
    const uint64_t end = both ? plan.bothSize : plan.size;
    window->at = (DWORD)at;
    window->size = end - at < plan.readSize ? (DWORD)(end - at) : plan.readSize;
}

ReadAhead::~ReadAhead()
{
    Stop();
    if (block_ != NULL)
        VirtualFree(block_, 0, MEM_RELEASE);
}

void ReadAhead::Stop()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (reader_.joinable())
        reader_.join();
}

BOOL ReadAhead::Allocate(DWORD readSize, DWORD slots)
{
    slots_ = slots;
    stride_ = kPage + RoundToPages((size_t)readSize + READ_AHEAD_SLACK);
    block_ = (unsigned char *)VirtualAlloc(NULL, 2 * slots * stride_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    return block_ != NULL;
}

BOOL ReadAhead::Start(HANDLE original, HANDLE modified, const WindowPlan &plan)
{
    plan_ = plan;
    bothWindows_ = ((uint64_t)plan.bothSize + plan.readSize - 1) / plan.readSize;
    windows_ = bothWindows_ + ((uint64_t)(plan.size - plan.bothSize) + plan.readSize - 1) / plan.readSize;
    files_[0] = original;
    files_[1] = modified;
    turn_ = slots_ / 2 > 0 ? slots_ / 2 : 1;
    if (!ThreadsAvailable()) {
        inline_ = true;
        return 1;
    }
    try {
        reader_ = std::thread(&ReadAhead::Read, this);
    } catch (const std::system_error &) {
        return 0;
    }
    return 1;
}

unsigned char *ReadAhead::Slot(int file, uint64_t index) const
{
    return block_ + ((size_t)file * slots_ + (size_t)(index % slots_)) * stride_ + kPage;
}

BOOL ReadAhead::Next(Window *window, bool *failedModified)
{
    std::unique_lock<std::mutex> guard(lock_);
    released_ = taken_;
    changed_.notify_all();
    if (inline_ && read_ <= taken_ && !failed_ && taken_ < windows_) {
        // Every window before taken_ is given back, so the turn's slots are free.
        const uint64_t end = windows_ - taken_ < turn_ ? windows_ : taken_ + turn_;
        guard.unlock();
        ReadTurn(taken_, end);
        guard.lock();
    }
    changed_.wait(guard, [this] { return read_ > taken_ || failed_; });
    if (read_ <= taken_) {
        *failedModified = failedModified_;
        if (systemError_)
            SetLastError(error_);
        return 0;
    }
    const uint64_t index = taken_++;
    window->original = index < bothWindows_ ? Slot(0, index) : NULL;
    window->modified = Slot(1, index);
    Locate(plan_, bothWindows_, index, window);
    return 1;
}

void ReadAhead::Fail(bool modified, BOOL readResult)
{
    const DWORD error = readResult ? 0 : GetLastError();
    std::lock_guard<std::mutex> guard(lock_);
    failed_ = true;
    failedModified_ = modified;
    systemError_ = !readResult;
    error_ = error;
    changed_.notify_all();
}

// Reads window first up to end: the original's bytes of them all, then the
// modified file's, each window handed over as soon as both are in. Returns
// false once a window cannot be read (failed_ is then set) or the reader is
// stopped.
bool ReadAhead::ReadTurn(uint64_t first, uint64_t end)
{
    Window window;
    uint64_t originalEnd = end;
    BOOL read = 1;
    DWORD got = 0;
    for (uint64_t index = first; index < end && index < bothWindows_; ++index) {
        Locate(plan_, bothWindows_, index, &window);
        read = ReadFile(files_[0], Slot(0, index), window.size, &got, NULL);
        if (!read || got != window.size) {
            originalEnd = index;
            break;
        }
    }
    for (uint64_t index = first; index < originalEnd; ++index) {
        Locate(plan_, bothWindows_, index, &window);
        unsigned char *slot = Slot(1, index);
        BOOL modifiedRead = ReadFile(files_[1], slot, window.size, &got, NULL);
        if (!modifiedRead || got != window.size) {
            Fail(true, modifiedRead);
            return false;
        }
        slot[-1] = before_;
        before_ = slot[window.size - 1];
        std::lock_guard<std::mutex> guard(lock_);
        read_ = index + 1;
        changed_.notify_all();
        if (stopping_)
            return false;
    }
    if (originalEnd < end) {
        Fail(false, read);
        return false;
    }
    return true;
}

// Reads the windows a turn of half the ring at a time, once that half is free
// again, so that each file is read in stretches of half its ring.
void ReadAhead::Read()
{
    for (uint64_t first = 0; first < windows_; first += turn_) {
        const uint64_t end = windows_ - first < turn_ ? windows_ : first + turn_;
        {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [&] { return stopping_ || released_ + slots_ >= end; });
            if (stopping_)
                return;
        }
        if (!ReadTurn(first, end))
            return;
    }
}
