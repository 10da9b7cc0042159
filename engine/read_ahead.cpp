#include "engine/read_ahead.h"

#include "platform/advice.h"
#include "platform/threads.h"

#include <string.h>

#include <algorithm>
#include <system_error>

// A slot's bytes begin on a page of their own, with the byte before them in
// the page before: the system's copy into a buffer that lies at another
// offset within its page than the file's bytes can be several times slower.
static const size_t kPage = 4096;

// Bytes of each file the system is asked to bring in at once
// (AdviseWillRead), a stretch ahead of the windows being read: from a disk
// that reads ahead little by itself, the two files then come in stretches of
// MiBs rather than with a seek between them every few hundred KiB.
static const uint64_t kAdviseStretch = 4u << 20;

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
    for (Reader &reader : readers_) {
        if (reader.own != NULL)
            VirtualFree(reader.own, 0, MEM_RELEASE);
    }
    if (block_ != NULL)
        VirtualFree(block_, 0, MEM_RELEASE);
}

void ReadAhead::Stop()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    freed_.notify_all();
    for (Reader &reader : readers_) {
        if (reader.thread.joinable())
            reader.thread.join();
    }
}

BOOL ReadAhead::Start(HANDLE original, HANDLE modified, const WindowPlan &plan, DWORD inFlight,
                      const WindowTask *task)
{
    plan_ = plan;
    bothWindows_ = ((uint64_t)plan.bothSize + plan.readSize - 1) / plan.readSize;
    windows_ = bothWindows_ + ((uint64_t)(plan.size - plan.bothSize) + plan.readSize - 1) / plan.readSize;
    files_[0] = original;
    files_[1] = modified;
    // Files of fewer windows need no more slots than they have windows; and
    // without readers a window is read only once the one before is given
    // back, so two slots do, which stay in the caller's cache.
    const bool threads = ThreadsAvailable() != 0;
    slots_ = (DWORD)std::min<uint64_t>(threads ? inFlight : 2, std::max<uint64_t>(windows_, 2));
    adviseWindows_ = kAdviseStretch > plan.readSize ? kAdviseStretch / plan.readSize : 1;
    AdviseFrom(0);
    // A slot holds a window and its slack.
    stride_ = kPage + RoundToPages((size_t)plan.readSize + 2 * READ_AHEAD_SLACK);
    if (task != NULL && threads)
        task_ = *task;
    const size_t rings = 2 * slots_ * stride_;
    block_ = (unsigned char *)VirtualAlloc(NULL, rings + slots_ * task_.scratchSize, MEM_COMMIT | MEM_RESERVE,
                                           PAGE_READWRITE);
    if (block_ == NULL)
        return 0;
    scratch_ = block_ + rings;
    try {
        readInSlot_.reset(new uint64_t[slots_]());
    } catch (const std::bad_alloc &) {
        return 0;
    }
    if (!threads)
        return 1;
    // Two readers: the system's copy into the slots is most of the reading,
    // and the task may be most of the comparing.
    try {
        for (Reader &reader : readers_)
            reader.thread = std::thread(&ReadAhead::Read, this, &reader);
    } catch (const std::system_error &) {
        return 0;
    }
    return 1;
}

unsigned char *ReadAhead::Slot(int file, uint64_t index) const
{
    return block_ + ((size_t)file * slots_ + (size_t)(index % slots_)) * stride_ + kPage;
}

// The task's scratch for window index, in its slot's place.
void *ReadAhead::Scratch(uint64_t index) const
{
    return scratch_ + (size_t)(index % slots_) * task_.scratchSize;
}

// Reads size bytes of file at at into into; false, with why in *failure,
// when they could not be read whole.
bool ReadAhead::ReadBytes(int file, DWORD at, DWORD size, unsigned char *into, ReadFailure *failure)
{
    OVERLAPPED where = {};
    where.Offset = at;
    DWORD got = 0;
    const BOOL read = ReadFile(files_[file], into, size, &got, &where);
    if (read && got == size)
        return true;
    *failure = {file == 1, read, read ? 0 : GetLastError()};
    return false;
}

// Asks the system to bring in the stretch of both files (of the original,
// where it has it) that begins with window index.
void ReadAhead::AdviseFrom(uint64_t index)
{
    if (index >= windows_)
        return;
    Window window;
    Locate(plan_, bothWindows_, index, &window);
    const uint64_t size = adviseWindows_ * plan_.readSize;
    if (index < bothWindows_)
        AdviseWillRead(files_[0], window.at, size);
    AdviseWillRead(files_[1], window.at, size);
}

// Reads window index of both files (of the original, where it has it), the
// modified file's with the byte before it, and runs the task on it where
// there is one; the bytes are then in the window's slot, or only where the
// task says the caller needs them. The modified file is read first in every
// other window, so that two readers tend to read different files at a time.
// False, with why in *failure, when the window could not be read whole; where
// both files fail, the original is named.
bool ReadAhead::ReadWindow(uint64_t index, Reader *reader, ReadFailure *failure)
{
    Window window;
    Locate(plan_, bothWindows_, index, &window);
    const bool both = index < bothWindows_;
    const bool task = task_.run != NULL && both;
    // The reader's own slots, where its last window's bytes were not needed
    // and they could be had.
    if (task && reader->ownNext && reader->own == NULL)
        reader->own = (unsigned char *)VirtualAlloc(NULL, 2 * stride_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    const bool own = task && reader->ownNext && reader->own != NULL;
    unsigned char *original = own ? reader->own + kPage : Slot(0, index);
    unsigned char *modified = own ? reader->own + stride_ + kPage : Slot(1, index);
    // The byte before comes with the window, read at the same offset within
    // its page as the file's.
    const bool before = window.at > 0;
    if (!before)
        modified[-1] = 0;
    const bool modifiedFirst = index & 1;
    bool read = true;
    if (modifiedFirst)
        read = ReadBytes(1, window.at - before, window.size + before, modified - before, failure);
    if (both && !ReadBytes(0, window.at, window.size, original, failure))
        read = false;
    if (!modifiedFirst && read)
        read = ReadBytes(1, window.at - before, window.size + before, modified - before, failure);
    if (read && task) {
        window.original = original;
        window.modified = modified;
        window.work = NULL;
        const bool needed = task_.run(window, task_.context, Scratch(index));
        if (needed && own) {
            memcpy(Slot(0, index), original, window.size);
            memcpy(Slot(1, index) - 1, modified - 1, (size_t)window.size + 1);
        }
        reader->ownNext = !needed;
    }
    return read;
}

// Hands window index over once those before it are, or, where it could not
// be read whole, keeps it as the window the caller is told of if no earlier
// one fails.
void ReadAhead::Finish(uint64_t index, bool read, const ReadFailure &failure)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!read && index < failedAt_) {
        failedAt_ = index;
        failure_ = failure;
    }
    if (read)
        readInSlot_[index % slots_] = index + 1;
    while (read_ < failedAt_ && read_ < claimed_ && readInSlot_[read_ % slots_] == read_ + 1)
        ++read_;
    // The caller is woken once the windows it waits for are in, or none will be.
    if (read_ >= wakeCallerAt_ || read_ == failedAt_)
        ready_.notify_all();
    if (!read)
        freed_.notify_all();
}

// Reads window index (on reader, null for the caller) and hands it over
// (Finish); false where it could not be read whole.
bool ReadAhead::Bring(uint64_t index, Reader *reader)
{
    ReadFailure failure;
    const bool read = ReadWindow(index, reader, &failure);
    Finish(index, read, failure);
    return read;
}

// A reader: takes on the next window, once its slot is given back, until
// every window is read, one fails, or the readers are stopped.
void ReadAhead::Read(Reader *reader)
{
    for (;;) {
        uint64_t index;
        {
            std::unique_lock<std::mutex> guard(lock_);
            const auto done = [this] { return stopping_ || claimed_ >= windows_ || claimed_ >= failedAt_; };
            freed_.wait(guard, [&] { return done() || claimed_ < released_ + slots_; });
            if (done())
                return;
            index = claimed_++;
        }
        if (!Bring(index, reader))
            return;
    }
}

BOOL ReadAhead::Next(Window *window, bool *failedModified)
{
    std::unique_lock<std::mutex> guard(lock_);
    released_ = taken_;
    // Readers waiting for a slot are woken once half the ring is free, not
    // for each slot: each wake-up costs about as much as reading a window.
    if (released_ + slots_ >= claimed_ + slots_ / 2)
        freed_.notify_all();
    if (!readers_[0].thread.joinable() && read_ == taken_ && taken_ < windows_ && taken_ < failedAt_) {
        // No readers: every window before taken_ is given back, so its slot is free.
        const uint64_t index = claimed_++;
        guard.unlock();
        Bring(index, NULL);
        guard.lock();
    }
    // Where the caller waits, it waits for half the ring, for the same reason.
    wakeCallerAt_ = windows_ - taken_ < slots_ / 2 ? windows_ : taken_ + slots_ / 2;
    ready_.wait(guard, [this] { return read_ > taken_ || failedAt_ == taken_; });
    if (read_ == taken_) {
        *failedModified = failure_.modified;
        if (!failure_.read)
            SetLastError(failure_.error);
        return 0;
    }
    const uint64_t index = taken_++;
    // The caller asks for the next stretch, not the readers: asking may wait
    // while the disk takes the requests, and reading would wait with it.
    if (index % adviseWindows_ == 0) {
        guard.unlock();
        AdviseFrom(index + adviseWindows_);
    }
    window->original = index < bothWindows_ ? Slot(0, index) : NULL;
    window->modified = Slot(1, index);
    window->work = task_.run != NULL && index < bothWindows_ ? Scratch(index) : NULL;
    Locate(plan_, bothWindows_, index, window);
    return 1;
}
