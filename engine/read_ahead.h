// Both inputs of a creation, read ahead on a thread of their own: while the
// caller compares one window of the files, the next ones are read. Each file
// is read in long sequential stretches (a disk then seeks once per stretch,
// not once per window) into a ring of page-aligned slots, and the caller
// compares in those slots, so no byte is copied twice. The ring's size is
// fixed, whatever the files' size. Where the platform starts no threads
// (ThreadsAvailable), the caller's thread reads each half of the ring in turn
// as it takes the first window of it, in the same stretches.
#ifndef ZORVIK_ENGINE_READ_AHEAD_H
#define ZORVIK_ENGINE_READ_AHEAD_H

#include "platform/win32.h"

#include <condition_variable>
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
};

class ReadAhead {
public:
    ReadAhead() = default;
    // Stops the reader and releases the ring.
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // Takes the memory for a ring of slots windows of readSize bytes of each
    // file. 0 when it is not given.
    BOOL Allocate(DWORD readSize, DWORD slots);

    // Starts reading original and modified (open, at their start; they stay
    // the caller's and must stay open until this object goes) in the windows
    // of plan, whose readSize is the one allocated for, half the ring at a
    // time: on a thread of its own, or in Next where the platform has none.
    // 0 when a thread should be started and none is given.
    BOOL Start(HANDLE original, HANDLE modified, const WindowPlan &plan);

    // Takes the next window, giving back the one taken before. Returns 0 when
    // it could not be read whole (a file that cannot be read, or ends early):
    // then *failedModified tells which file, and the last error is what
    // reading it left.
    BOOL Next(Window *window, bool *failedModified);

    // Stops the reader: once it returns, the files are no longer read.
    void Stop();

private:
    void Read();
    bool ReadTurn(uint64_t first, uint64_t end);
    void Fail(bool modified, BOOL readResult);
    unsigned char *Slot(int file, uint64_t index) const;

    WindowPlan plan_ = {1, 0, 0};
    uint64_t bothWindows_ = 0, windows_ = 0;  // windows of both files, and in all
    HANDLE files_[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};  // original, modified
    unsigned char *block_ = NULL;  // both rings: slots_ slots of stride_ bytes each
    DWORD slots_ = 0;
    size_t stride_ = 0;
    uint64_t turn_ = 1;            // windows read in one stretch: half the ring
    unsigned char before_ = 0;     // the last byte of the modified file read so far
    bool inline_ = false;          // no reader thread: Next reads

    std::mutex lock_;
    std::condition_variable changed_;
    std::thread reader_;
    // Guarded by lock_:
    uint64_t read_ = 0;           // windows read whole
    uint64_t taken_ = 0;          // windows handed over
    uint64_t released_ = 0;       // windows given back, whose slots may be read into again
    bool failed_ = false;         // window read_ could not be read
    bool failedModified_ = false;
    bool systemError_ = false;    // ReadFile failed (rather than ending early), leaving error_
    DWORD error_ = 0;
    bool stopping_ = false;
};

#endif
