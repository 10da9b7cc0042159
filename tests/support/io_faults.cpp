#include "io_faults.h"

#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <sys/types.h>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<bool> g_on{false}, g_closesFail{false};
std::atomic<long> g_calls{0};
size_t g_most = 0;
thread_local bool t_interrupted = false;

// The call named, made with at most the bytes that faults let through.
template <class Buffer, class... Position>
ssize_t Disturbed(const char *name, int fd, Buffer buffer, size_t count, Position... at)
{
    static auto next = (ssize_t (*)(int, Buffer, size_t, Position...))dlsym(RTLD_NEXT, name);
    if (g_on.load()) {
        if (++g_calls > 1000000 || (t_interrupted = !t_interrupted)) {
            errno = g_calls > 1000000 ? EIO : EINTR;
            return -1;
        }
        count = std::min(count, g_most);
    }
    return next(fd, buffer, count, at...);
}

}  // namespace

IoFaults::IoFaults(size_t most, bool closesFail)
{
    g_most = most;
    g_calls = 0;
    g_closesFail = closesFail;
    g_on = true;
}

IoFaults::~IoFaults()
{
    g_on = false;
    g_closesFail = false;
}

// Closes, and fails where faults make closes fail.
extern "C" int close(int fd)
{
    static auto next = (int (*)(int))dlsym(RTLD_NEXT, "close");
    const int result = next(fd);
    return g_closesFail ? (errno = EIO, -1) : result;
}

extern "C" int fclose(FILE *stream)
{
    static auto next = (int (*)(FILE *))dlsym(RTLD_NEXT, "fclose");
    const int result = next(stream);
    return g_closesFail ? (errno = EIO, EOF) : result;
}

// The positioned calls under the names that 64-bit file offsets give them.
extern "C" ssize_t read(int fd, void *buffer, size_t count)
{
    return Disturbed("read", fd, buffer, count);
}

extern "C" ssize_t write(int fd, const void *buffer, size_t count)
{
    return Disturbed("write", fd, buffer, count);
}

extern "C" ssize_t pread64(int fd, void *buffer, size_t count, off64_t at)
{
    return Disturbed("pread64", fd, buffer, count, at);
}

extern "C" ssize_t pwrite64(int fd, const void *buffer, size_t count, off64_t at)
{
    return Disturbed("pwrite64", fd, buffer, count, at);
}
