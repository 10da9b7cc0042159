// Files that close themselves: a handle or a stream owned by one scope, closed
// when it ends unless Close was called first. Close reports whether closing
// worked, so that a run that wrote a file can fail when its close fails.
#ifndef ZORVIK_PLATFORM_OWNED_H
#define ZORVIK_PLATFORM_OWNED_H

#include "win32.h"

#include <stdio.h>

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~OwnedHandle() { Close(); }
    OwnedHandle(const OwnedHandle &) = delete;
    OwnedHandle &operator=(const OwnedHandle &) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Takes handle in place of the one owned, which is closed unchecked.
    void Reset(HANDLE handle)
    {
        Close();
        handle_ = handle;
    }
    // Closes the handle (1 when there is none); the object owns nothing after.
    BOOL Close()
    {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle == INVALID_HANDLE_VALUE || CloseHandle(handle);
    }

private:
    HANDLE handle_;
};

class OwnedStream {
public:
    explicit OwnedStream(FILE *stream = NULL) : stream_(stream) {}
    ~OwnedStream() { Close(); }
    OwnedStream(const OwnedStream &) = delete;
    OwnedStream &operator=(const OwnedStream &) = delete;

    FILE *get() const { return stream_; }
    // Takes stream in place of the one owned, which is closed unchecked.
    void Reset(FILE *stream)
    {
        Close();
        stream_ = stream;
    }
    // Closes the stream (1 when there is none); the object owns nothing after.
    BOOL Close()
    {
        FILE *stream = stream_;
        stream_ = NULL;
        return stream == NULL || fclose(stream) == 0;
    }

private:
    FILE *stream_;
};

#endif
