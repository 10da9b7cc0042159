#include "engine/read_ahead.h"

#include "engine/compare.h"
#include "platform/threads.h"

#include <string.h>

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
    task_.notify_all();
    if (reader_.joinable())
        reader_.join();
    if (modifiedReader_.joinable())
        modifiedReader_.join();
}

BOOL ReadAhead::Start(HANDLE original, HANDLE modified, const WindowPlan &plan, DWORD inFlight, Marking marking)
{
    plan_ = plan;
    bothWindows_ = ((uint64_t)plan.bothSize + plan.readSize - 1) / plan.readSize;
    windows_ = bothWindows_ + ((uint64_t)(plan.size - plan.bothSize) + plan.readSize - 1) / plan.readSize;
    files_[0] = original;
    files_[1] = modified;
    turn_ = inFlight / 2;
    inline_ = !ThreadsAvailable();
    slots_ = inFlight;
    // A slot holds a window and its slack.
    stride_ = kPage + RoundToPages((size_t)plan.readSize + 2 * READ_AHEAD_SLACK);
    marking_ = marking != kMarkNone && !inline_;
    marksAll_ = marking == kMarkAll;
    avx2_ = HasAvx2();
    markWords_ = marking_ ? ((size_t)plan.readSize + 64 * WIDE_COMPARE_SIZE - 1) / (64 * WIDE_COMPARE_SIZE) : 0;
    const size_t rings = 2 * slots_ * stride_;
    block_ = (unsigned char *)VirtualAlloc(NULL, rings + 2 * turn_ * markWords_ * sizeof(uint64_t),
                                           MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (block_ == NULL)
        return 0;
    marks_ = (uint64_t *)(block_ + rings);
    try {
        markStates_.reset(new std::atomic<uint8_t>[marking_ ? 2 * turn_ : 0]);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    if (inline_)
        return 1;
    // The two files may be read side by side, on two threads: the system's
    // copy into the slots is most of the reading.
    try {
        modifiedReader_ = std::thread(&ReadAhead::ReadModified, this);
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

// The marks of window index, in the ring of the windows in flight.
uint64_t *ReadAhead::Marks(uint64_t index) const
{
    return marks_ + (size_t)(index % (2 * turn_)) * markWords_;
}

AVX2_FUNCTION static void MarkChangedBlocksAvx2(const unsigned char *a, const unsigned char *b, DWORD size,
                                                uint64_t *marks)
{
    MarkChangedBlocks<Avx2Compare>(a, b, size, marks);
}

// Whether the reader may mark window index: one of both files.
bool ReadAhead::Markable(uint64_t index) const
{
    return marking_ && index < bothWindows_;
}

std::atomic<uint8_t> &ReadAhead::MarkState(uint64_t index) const
{
    return markStates_[index % (2 * turn_)];
}

// Marks window index, read whole, whose marking this thread has taken on.
void ReadAhead::MarkWindow(uint64_t index)
{
    Window window;
    Locate(plan_, bothWindows_, index, &window);
    if (avx2_)
        MarkChangedBlocksAvx2(Slot(0, index), Slot(1, index), window.size, Marks(index));
    else
        MarkChangedBlocks<BaselineCompare>(Slot(0, index), Slot(1, index), window.size, Marks(index));
    MarkState(index).store(kMarked);
}

// Marks the windows first up to end, read whole, from the last on, as long
// as the caller has not taken them: the more the caller falls behind, the
// more of the comparing the reader takes on.
void ReadAhead::MarkTurn(uint64_t first, uint64_t end)
{
    for (uint64_t index = end; index-- > first;) {
        if (!Markable(index))
            continue;
        uint8_t state = kUnmarked;
        if (!MarkState(index).compare_exchange_strong(state, kMarking))
            return;
        MarkWindow(index);
    }
}

// Takes window index from the reader's marking: true when it is marked (or
// being marked, which is then waited for, or, where every window is marked,
// not yet reached, which is then marked here), false when it never will be.
bool ReadAhead::TakeMarks(uint64_t index)
{
    if (!Markable(index))
        return false;
    uint8_t state = kUnmarked;
    if (MarkState(index).compare_exchange_strong(state, marksAll_ ? kMarking : kTaken)) {
        if (!marksAll_)
            return false;
        MarkWindow(index);
    }
    while (MarkState(index).load() != kMarked)
        std::this_thread::yield();
    return true;
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
    if (read_ <= taken_)
        waited_ = true;
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
    window->changed = TakeMarks(index) ? Marks(index) : NULL;
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

// Reads file's bytes of windows first up to end (of the original, those it
// has) into their slots, the modified file's with the byte before each, and
// with publish hands each of those over as soon as it is in. Returns the
// first window not read whole (end when all were), and how its read ended:
// ReadFile's result, and the last error where it failed.
ReadAhead::WindowsRead ReadAhead::ReadWindows(int file, uint64_t first, uint64_t end, bool publish)
{
    Window window;
    DWORD got = 0;
    for (uint64_t index = first; index < end && (file == 1 || index < bothWindows_); ++index) {
        Locate(plan_, bothWindows_, index, &window);
        unsigned char *slot = Slot(file, index);
        const BOOL read = ReadFile(files_[file], slot, window.size, &got, NULL);
        if (!read || got != window.size)
            return {index, read, read ? 0 : GetLastError()};
        if (file == 1) {
            slot[-1] = before_;
            before_ = slot[window.size - 1];
        }
        if (publish) {
            std::lock_guard<std::mutex> guard(lock_);
            read_ = index + 1;
            changed_.notify_all();
        }
    }
    return {end, 1, 0};
}

// The second reader: reads the modified file's windows of each turn the
// reader hands it, beside the reader, which reads the original's.
void ReadAhead::ReadModified()
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        task_.wait(guard, [this] { return modifiedTask_ || stopping_; });
        if (!modifiedTask_)
            return;
        guard.unlock();
        const WindowsRead read = ReadWindows(1, taskFirst_, taskEnd_, false);
        guard.lock();
        modifiedRead_ = read;
        modifiedTask_ = false;
        task_.notify_all();
    }
}

// Reads windows first up to end of both files: the original's, then the
// modified file's, each window handed over as soon as both are in. Where
// there is a second reader and the caller had to wait for a window since the
// turn before, the modified file's are read on it at the same time, and the
// turn is handed over once all are in; otherwise the caller is behind, and
// the processor is left to it.
// Where a window cannot be read whole, those before it are handed over and
// the file that failed there is named, the original where both did. Returns
// false then (failed_ is set) or once the reader is stopped.
bool ReadAhead::ReadTurn(uint64_t first, uint64_t end)
{
    bool split = false;
    if (modifiedReader_.joinable()) {
        std::lock_guard<std::mutex> guard(lock_);
        split = modifiedTask_ = waited_;
        waited_ = false;
        taskFirst_ = first;
        taskEnd_ = end;
    }
    if (split)
        task_.notify_all();
    WindowsRead modified;
    const WindowsRead original = ReadWindows(0, first, end, false);
    if (split) {
        std::unique_lock<std::mutex> guard(lock_);
        task_.wait(guard, [this] { return !modifiedTask_; });
        modified = modifiedRead_;
    } else {
        modified = ReadWindows(1, first, original.end, true);
    }
    const bool modifiedFails = modified.end < original.end;
    const WindowsRead &failing = modifiedFails ? modified : original;
    {
        std::lock_guard<std::mutex> guard(lock_);
        read_ = failing.end;
        changed_.notify_all();
        if (stopping_)
            return false;
    }
    if (failing.end == end)
        return true;
    SetLastError(failing.error);
    Fail(modifiedFails, failing.read);
    return false;
}

// Reads the windows a turn of half of those in flight at a time, once every
// window of the turn before the last is given back: its slots are the ones
// this turn takes over.
void ReadAhead::Read()
{
    for (uint64_t first = 0; first < windows_; first += turn_) {
        const uint64_t end = windows_ - first < turn_ ? windows_ : first + turn_;
        {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [&] { return stopping_ || released_ + turn_ >= first; });
            if (stopping_)
                return;
        }
        for (uint64_t index = first; index < end && marking_; ++index)
            MarkState(index).store(kUnmarked);
        if (!ReadTurn(first, end))
            return;
        MarkTurn(first, end);
    }
}
