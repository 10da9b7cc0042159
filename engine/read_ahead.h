// Both inputs of a creation, read ahead on a thread of their own: while the
// caller compares one window of the files, the next ones are brought in. Each
// file is taken in long sequential stretches (a disk then seeks once per
// stretch, not once per window), turn by turn, half the windows in flight at
// a time, into a ring of page-aligned slots, so the memory used is fixed
// whatever the files' size. While the caller waits for them, a second thread
// reads the modified file's stretch beside the original's. Where the
// platform starts no threads (ThreadsAvailable), the caller's thread reads
// each half of the ring in turn as it takes the first window of it.
//
// The slots are read rather than the files mapped: a view is read faster
// only where the system has the file's pages in large pieces, and several
// times slower where it keeps them a page at a time (a file just copied, or
// long in the cache), while reading costs the same copy everywhere.
//
// The reader may also take on part of the comparing: once a turn is read, it
// marks, from the turn's last window back to the first that the caller has
// taken, the blocks of WIDE_COMPARE_SIZE positions that differ, so that the
// caller passes over the others without reading them.
#ifndef ZORVIK_ENGINE_READ_AHEAD_H
#define ZORVIK_ENGINE_READ_AHEAD_H

#include "platform/win32.h"

#include <atomic>
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

// A window as the reader hands it over, valid until the next is taken.
struct Window {
    DWORD at;                        // position of its first byte in the files
    DWORD size;                      // at least 1
    const unsigned char *original;   // null in the tail
    const unsigned char *modified;   // modified[-1] holds the modified file's byte before at (0 at 0)
    const uint64_t *changed;         // the blocks that differ (MarkChangedBlocks), or null where unmarked
};

class ReadAhead {
public:
    ReadAhead() = default;
    // Stops the reader and releases the ring.
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // Which windows of both files get their differing blocks marked: none;
    // those the reader marks before the caller takes them; or every one, the
    // rest by the caller as it takes them.
    enum Marking { kMarkNone, kMarkWhenAhead, kMarkAll };

    // Starts reading original and modified (open, at their start; they stay
    // the caller's and must stay open until this object goes) in the windows
    // of plan, with up to inFlight windows (at least 2) of each file read
    // ahead: on a thread of its own, or in Next where the platform has none.
    // The windows are marked as marking asks only where a thread reads. 0
    // when the memory or a thread it needs is not given.
    BOOL Start(HANDLE original, HANDLE modified, const WindowPlan &plan, DWORD inFlight, Marking marking);

    // Takes the next window, giving back the one taken before. Returns 0 when
    // it could not be read whole (a file that cannot be read, or ends early):
    // then *failedModified tells which file, and the last error is what
    // reading it left.
    BOOL Next(Window *window, bool *failedModified);

    // Stops the reader: once it returns, the files are no longer read.
    void Stop();

private:
    // How reading a file's windows ended (ReadWindows).
    struct WindowsRead {
        uint64_t end;  // the first window not read whole
        BOOL read;     // ReadFile's result for it
        DWORD error;   // the last error where that failed
    };

    void Read();
    WindowsRead ReadWindows(int file, uint64_t first, uint64_t end, bool publish);
    void ReadModified();
    bool ReadTurn(uint64_t first, uint64_t end);
    void Fail(bool modified, BOOL readResult);
    unsigned char *Slot(int file, uint64_t index) const;
    bool Markable(uint64_t index) const;
    std::atomic<uint8_t> &MarkState(uint64_t index) const;
    uint64_t *Marks(uint64_t index) const;
    void MarkWindow(uint64_t index);
    void MarkTurn(uint64_t first, uint64_t end);
    bool TakeMarks(uint64_t index);

    WindowPlan plan_ = {1, 0, 0};
    uint64_t bothWindows_ = 0, windows_ = 0;  // windows of both files, and in all
    HANDLE files_[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};  // original, modified
    unsigned char *block_ = NULL;  // both rings: slots_ slots of stride_ bytes each
    DWORD slots_ = 0;
    size_t stride_ = 0;
    uint64_t turn_ = 1;            // windows read in one stretch: half the ring
    unsigned char before_ = 0;     // the last byte of the modified file read so far
    bool inline_ = false;          // no reader thread: Next reads
    // Where the reader marks windows: for each window in flight, its marks
    // (markWords_ words in a ring) and whether they are ready, which the
    // reader and the caller change in turn without the lock.
    enum MarkStateValue : uint8_t { kUnmarked, kMarking, kMarked, kTaken };
    bool marking_ = false;
    bool marksAll_ = false;
    bool avx2_ = false;
    uint64_t *marks_ = NULL;
    size_t markWords_ = 0;
    std::unique_ptr<std::atomic<uint8_t>[]> markStates_;

    std::mutex lock_;
    std::condition_variable changed_;
    std::thread reader_;
    std::thread modifiedReader_;       // reads the modified file beside reader_, where slots are read
    std::condition_variable task_;     // a turn handed to modifiedReader_, or done
    // Guarded by lock_:
    uint64_t read_ = 0;           // windows read whole
    uint64_t taken_ = 0;          // windows handed over
    uint64_t released_ = 0;       // windows given back, whose slots may be read into again
    bool failed_ = false;         // window read_ could not be read
    bool failedModified_ = false;
    bool systemError_ = false;    // ReadFile failed (rather than ending early), leaving error_
    DWORD error_ = 0;
    bool stopping_ = false;
    bool waited_ = true;          // the caller waited for a window since the last turn began
    bool modifiedTask_ = false;   // modifiedReader_ is to read windows taskFirst_ up to taskEnd_
    uint64_t taskFirst_ = 0, taskEnd_ = 0;
    WindowsRead modifiedRead_ = {0, 1, 0};  // how its last turn ended
};

#endif
