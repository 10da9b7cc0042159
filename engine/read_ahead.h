// Both inputs of a creation, read ahead on threads of their own: while the
// caller compares one window of the files, the next ones are brought in.
// Each reader takes the next window not yet taken, reads both files' bytes
// of it into a slot of a small ring and runs the caller's task on it at once
// (the first steps of comparing it), while those bytes are still in its
// processor's cache. The ring is kept small for the same reason: a copy into
// memory written long before costs several times one into memory just used.
// For that reason too, once its task has found that the caller needs none of
// a window's bytes, a reader reads the next window into a pair of slots of
// its own, which stay in its cache, and copies the bytes into the ring only
// where the task finds the caller needs them after all.
// The memory used is fixed whatever the files' size, and less for files of
// fewer windows than the ring has slots. Where the platform starts no
// threads (ThreadsAvailable: one processor, or the browser), the caller's
// thread reads each window as it takes it, into one of two slots, which stay
// in its cache, and no task runs. The caller asks the system to bring in
// the next few MiB of each file ahead of the readers (AdviseWillRead), so
// that a disk delivers each in long stretches.
//
// Where the caller allows it, the platform's views of a file fail safely
// (FileViewsFailSafely: the POSIX layer, not Windows) and readers run, the
// files are mapped rather than read, which saves the system's copy: a reader
// maps both files' stretch of 2 MiB that its window begins in, unless a
// reader before it has, and the window's bytes are those of the views. The
// caller lets a stretch's views go once it has given back every window in it,
// and the readers keep fewer windows ahead, so that few pages are mapped at a
// time: they count as the process's memory. Windows that a view cannot hold
// whole with the byte before and the slack (the first, and those at a file's
// end) are read into slots as elsewhere. Bytes a view lost (a file made
// shorter under it) read as zeros, and the first window taken after their
// stretch, or Done, fails.
#ifndef ZORVIK_ENGINE_READ_AHEAD_H
#define ZORVIK_ENGINE_READ_AHEAD_H

#include "platform/win32.h"

#include <stdint.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// Bytes readable past the end of a window's bytes, whatever they hold, so
// that a comparison of a whole wide block may run over the end.
#define READ_AHEAD_SLACK 64u

// The windows both files are handed over in: readSize bytes of each at a
// time over the bytes both have, then readSize bytes of the modified file at
// a time over its tail; the last window of each part may be shorter.
struct WindowPlan {
    DWORD readSize;  // at least 1
    DWORD bothSize;  // the original's size
    DWORD size;      // the modified file's size, at least bothSize
};

// A window as the reader hands it over, valid until the next is taken. Where a
// task ran, its bytes are the files' only if the task said the caller needs
// them.
struct Window {
    DWORD at;                        // position of its first byte in the files
    DWORD size;                      // at least 1
    const unsigned char *original;   // null in the tail
    const unsigned char *modified;   // modified[-1] holds the modified file's byte before at (0 at 0)
    const void *work;                // what the task left for it, or null where no task ran
};

// What a reader does with each window of both files once it is read: run
// (on the reader's thread) with the window, context, and scratch bytes of
// the window's own, which the caller then finds as the window's work. It
// returns whether the caller needs the window's bytes.
struct WindowTask {
    bool (*run)(const Window &window, const void *context, void *scratch);
    const void *context;
    size_t scratchSize;  // a multiple of 8
};

class ReadAhead {
public:
    ReadAhead() = default;
    // Stops the readers and releases the ring.
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // Starts reading original and modified (open; they stay the caller's and
    // must stay open until this object goes) in the windows of plan, with up
    // to inFlight windows (at least 2) read ahead: on threads of their own,
    // or in Next where the platform has none. A reader runs task, where not
    // null, on each window of both files it reads. With mayMap, the readers
    // map the files where views fail safely. 0 when the memory or a thread it
    // needs is not given.
    BOOL Start(HANDLE original, HANDLE modified, const WindowPlan &plan, DWORD inFlight, const WindowTask *task,
               bool mayMap);

    // Takes the next window, giving back the one taken before. Returns 0 when
    // it could not be read whole (a file that cannot be read, or ends early):
    // then *failedModified tells which file, and the last error is what
    // reading it left.
    BOOL Next(Window *window, bool *failedModified);

    // Stops the readers: once it returns, the files are no longer read.
    void Stop();

    // Once the last window is taken: stops the readers and lets go of the
    // views. Returns 0 where a view lost bytes that it was to hold: then
    // *failedModified tells which file.
    BOOL Done(bool *failedModified);

private:
    // Why a window could not be read whole.
    struct ReadFailure {
        bool modified;  // the file that failed: the original where both did
        BOOL read;      // ReadFile's result
        DWORD error;    // the last error where that failed
    };

    // A reader's thread, and the slots of its own it reads into while the
    // caller needs no bytes of its windows (allocated the first time).
    struct Reader {
        std::thread thread;
        unsigned char *own = NULL;  // both files' slots, of stride_ bytes each
        bool ownNext = false;       // the next window goes into own
    };

    void Read(Reader *reader);
    void AdviseFrom(uint64_t index);
    bool Bring(uint64_t index, Reader *reader);
    bool ReadWindow(uint64_t index, Reader *reader, ReadFailure *failure);
    bool ReadBytes(int file, DWORD at, DWORD size, unsigned char *into, ReadFailure *failure);
    void Finish(uint64_t index, bool read, const ReadFailure &failure);
    unsigned char *Slot(int file, uint64_t index) const;
    bool MapFiles();
    bool ViewWindow(uint64_t index, const Window &window, const unsigned char **original,
                    const unsigned char **modified);
    bool LetGoBefore(uint64_t stretch, bool *failedModified);
    uint64_t StretchOf(uint64_t index) const;

    // Both files' views of one stretch; a view is null where it could not be
    // had or was let go.
    struct Views {
        uint64_t stretch = UINT64_MAX;  // the stretch's number: its first byte over its size
        uint64_t from = 0;              // where both views begin in the files
        uint64_t end[2] = {0, 0};       // where each ends in its file
        const unsigned char *view[2] = {NULL, NULL};  // the original's, the modified file's
    };
    void *Scratch(uint64_t index) const;

    WindowPlan plan_ = {1, 0, 0};
    uint64_t bothWindows_ = 0, windows_ = 0;  // windows of both files, and in all
    HANDLE files_[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};  // original, modified
    unsigned char *block_ = NULL;  // both rings, slots_ slots of stride_ bytes each, then the scratch
    DWORD slots_ = 0;
    size_t stride_ = 0;
    uint64_t adviseWindows_ = 1;  // windows in a stretch the system is asked to bring in at once
    HANDLE mappings_[2] = {NULL, NULL};  // of the files mapped, where views are used
    Views views_[3];                     // of the stretches in use, by stretch number
    std::mutex viewsLock_;               // guards views_
    std::unique_ptr<const unsigned char *[]> bytes_;  // for each slot, both files' bytes of its window
    WindowTask task_ = {NULL, NULL, 0};  // run by the readers, where run is not null
    unsigned char *scratch_ = NULL;      // task_.scratchSize bytes for each slot

    std::mutex lock_;
    std::condition_variable ready_;  // a window read, or one that failed: for the caller
    std::condition_variable freed_;  // a slot given back, or a stop: for the readers
    Reader readers_[2];
    // Guarded by lock_:
    std::unique_ptr<uint64_t[]> readInSlot_;  // for each slot, 1 + the last window read whole into it
    uint64_t claimed_ = 0;        // windows a reader has taken on
    uint64_t read_ = 0;           // windows read whole, each before it too
    uint64_t taken_ = 0;          // windows handed over
    uint64_t released_ = 0;       // windows given back, whose slots may be read into again
    uint64_t wakeCallerAt_ = 0;   // the windows read at which the caller, where it waits, is woken
    uint64_t failedAt_ = UINT64_MAX;  // the first window that could not be read whole
    ReadFailure failure_ = {false, 1, 0};
    bool stopping_ = false;
};

#endif
