#include "engine/read_ahead.h"

#include "platform/advice.h"
#include "platform/file_views.h"
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

// Both files are mapped in stretches of this, each view with the 64 KiB
// before it (views begin at multiples of 64 KiB, as Windows asks) and after
// it, so that a window that begins in a stretch has its byte before and
// its slack in the views. Larger stretches were little faster and hold more
// pages mapped; smaller ones cost more in mapping than they save.
static const uint64_t kViewStretch = 2u << 20;
static const uint64_t kViewMargin = 64u << 10;

// Windows read ahead where the files are mapped: a reader's work on a view is
// only the task, and fewer windows ahead keep fewer stretches mapped.
static const DWORD kViewedInFlight = 8;

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
    bool failedModified;
    Done(&failedModified);
    for (HANDLE mapping : mappings_) {
        if (mapping != NULL)
            CloseHandle(mapping);
    }
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

BOOL ReadAhead::Done(bool *failedModified)
{
    Stop();
    return LetGoBefore(UINT64_MAX, failedModified);
}

// Lets go of the views of every stretch before stretch; false where one of
// them lost bytes, with *failedModified telling which file (the original
// where both did).
bool ReadAhead::LetGoBefore(uint64_t stretch, bool *failedModified)
{
    bool whole = true;
    std::lock_guard<std::mutex> guard(viewsLock_);
    for (Views &views : views_) {
        if (views.stretch >= stretch)
            continue;
        for (int file = 1; file >= 0; --file) {
            if (views.view[file] != NULL && !UnmapViewOfFile(views.view[file])) {
                whole = false;
                *failedModified = file == 1;
            }
            views.view[file] = NULL;
        }
    }
    return whole;
}

// The number of the stretch that window index begins in.
uint64_t ReadAhead::StretchOf(uint64_t index) const
{
    Window window;
    Locate(plan_, bothWindows_, index, &window);
    return window.at / kViewStretch;
}

// Makes a mapping of each file that has bytes, where views fail safely;
// false where the modified file, which every viewed window needs, has none.
bool ReadAhead::MapFiles()
{
    if (!FileViewsFailSafely())
        return false;
    for (int file = 0; file < 2; ++file) {
        if ((file == 0 ? plan_.bothSize : plan_.size) > 0)
            mappings_[file] = CreateFileMappingA(files_[file], NULL, PAGE_READONLY, 0, 0, NULL);
    }
    return mappings_[1] != NULL;
}

// Points *original and *modified at window index's bytes in the views of its
// stretch, mapping them first where no reader has; false where the views
// cannot hold the window whole, with the byte before and the slack, or the
// stretch's place is still held by views not let go, so that it is read.
bool ReadAhead::ViewWindow(uint64_t index, const Window &window, const unsigned char **original,
                           const unsigned char **modified)
{
    if (mappings_[1] == NULL || window.at == 0)
        return false;
    const uint64_t stretch = window.at / kViewStretch;
    Views &views = views_[stretch % 3];
    std::lock_guard<std::mutex> guard(viewsLock_);
    if (views.stretch != stretch) {
        if (views.view[0] != NULL || views.view[1] != NULL)
            return false;
        views.stretch = stretch;
        views.from = stretch * kViewStretch - (stretch > 0 ? kViewMargin : 0);
        for (int file = 0; file < 2; ++file) {
            const uint64_t size = file == 0 ? plan_.bothSize : plan_.size;
            views.end[file] = std::min((stretch + 1) * kViewStretch + kViewMargin, size);
            if (mappings_[file] != NULL && views.end[file] > views.from)
                views.view[file] = (const unsigned char *)MapViewOfFile(
                    mappings_[file], FILE_MAP_READ, (DWORD)(views.from >> 32), (DWORD)views.from,
                    (size_t)(views.end[file] - views.from));
        }
    }
    const uint64_t end = (uint64_t)window.at + window.size + READ_AHEAD_SLACK;
    const bool both = index < bothWindows_;
    for (int file = both ? 0 : 1; file < 2; ++file) {
        if (views.view[file] == NULL || end > views.end[file])
            return false;
    }
    *original = both ? views.view[0] + (window.at - views.from) : NULL;
    *modified = views.view[1] + (window.at - views.from);
    return true;
}

BOOL ReadAhead::Start(HANDLE original, HANDLE modified, const WindowPlan &plan, DWORD inFlight,
                      const WindowTask *task, bool mayMap)
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
    const bool mapped = mayMap && threads && MapFiles();
    if (mapped)
        inFlight = std::min(inFlight, kViewedInFlight);
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
        bytes_.reset(new const unsigned char *[2 * slots_]());
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
    const unsigned char **bytes = &bytes_[2 * (index % slots_)];
    if (ViewWindow(index, window, &bytes[0], &bytes[1])) {
        if (task) {
            window.original = bytes[0];
            window.modified = bytes[1];
            window.work = NULL;
            task_.run(window, task_.context, Scratch(index));
        }
        return true;
    }
    bytes[0] = both ? Slot(0, index) : NULL;
    bytes[1] = Slot(1, index);
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
    // The views of stretches before the window to be taken are done with.
    // Where one lost bytes, so does the window taken before.
    bool lostModified = false;
    const bool whole = mappings_[1] == NULL || taken_ >= windows_ || LetGoBefore(StretchOf(taken_), &lostModified);
    std::unique_lock<std::mutex> guard(lock_);
    if (!whole && taken_ < failedAt_) {
        failedAt_ = taken_;
        failure_ = {lostModified, 1, 0};
    }
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
    ready_.wait(guard, [this] { return read_ > taken_ || failedAt_ <= taken_; });
    if (failedAt_ <= taken_) {
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
    window->original = bytes_[2 * (index % slots_)];
    window->modified = bytes_[2 * (index % slots_) + 1];
    window->work = task_.run != NULL && index < bothWindows_ ? Scratch(index) : NULL;
    Locate(plan_, bothWindows_, index, window);
    return 1;
}
