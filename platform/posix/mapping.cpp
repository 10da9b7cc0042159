#include "platform/file_views.h"

#include "errors.h"
#include "files.h"
#include "handles.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

namespace {

// Offsets of views are multiples of this, as on Windows.
const uint64_t kGranularity = 64 * 1024;
const uintptr_t kPage = 4096;

// A mapping of a whole file, read only: its own descriptor, and the size the
// file had when the mapping was made, which no view may go past.
class MappingObject : public DescriptorObject {
public:
    MappingObject(int fd, uint64_t size) : DescriptorObject(fd), size(size) {}
    uint64_t size;
};

// The views open now. A view's pages that the file no longer holds (it was
// made shorter, or cannot be read) raise SIGBUS where Windows raises an
// in-page error; the handler puts a page of zeros there and marks the view,
// whose unmapping then fails. The handler only reads the table, which is
// changed under a lock and entry by entry.
struct View {
    std::atomic<uintptr_t> start{0};
    std::atomic<size_t> length{0};
    std::atomic<bool> damaged{false};
};
View views[64];
std::mutex viewsLock;

void OnBusError(int signal, siginfo_t *info, void *context)
{
    (void)context;
    const uintptr_t at = (uintptr_t)info->si_addr;
    for (View &view : views) {
        const uintptr_t start = view.start.load();
        if (start != 0 && at - start < view.length.load()) {
            view.damaged.store(true);
            mmap((void *)(at & ~(kPage - 1)), kPage, PROT_READ, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            return;
        }
    }
    // Not in a view: the fault is what it would have been without this handler.
    ::signal(signal, SIG_DFL);
}

void GuardViews()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action = {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, NULL);
    });
}

View *AddView(void *start, size_t length)
{
    std::lock_guard<std::mutex> guard(viewsLock);
    for (View &view : views) {
        if (view.start.load() == 0) {
            view.damaged.store(false);
            view.length.store(length);
            view.start.store((uintptr_t)start);
            return &view;
        }
    }
    return NULL;
}

View *FindView(const void *start)
{
    for (View &view : views) {
        if (view.start.load() == (uintptr_t)start)
            return &view;
    }
    return NULL;
}

}  // namespace

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCSTR name)
{
    (void)security;
    const int fd = FileDescriptor(file);
    if (protect != PAGE_READONLY || maximumSizeHigh != 0 || maximumSizeLow != 0 || name != NULL || fd < 0) {
        SetLastError(fd < 0 ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return NULL;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        FailFromErrno();
        return NULL;
    }
    if (info.st_size == 0) {
        SetLastError(ERROR_FILE_INVALID);
        return NULL;
    }
    const int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) {
        FailFromErrno();
        return NULL;
    }
    GuardViews();
    return RegisterHandle(std::make_shared<MappingObject>(own, (uint64_t)info.st_size));
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, size_t bytes)
{
    std::shared_ptr<MappingObject> object = LookupHandleAs<MappingObject>(mapping);
    const uint64_t offset = (uint64_t)offsetHigh << 32 | offsetLow;
    if (object == nullptr || access != FILE_MAP_READ) {
        SetLastError(object == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return NULL;
    }
    if (offset % kGranularity != 0) {
        SetLastError(ERROR_MAPPED_ALIGNMENT);
        return NULL;
    }
    if (offset >= object->size || bytes > object->size - offset) {
        SetLastError(ERROR_ACCESS_DENIED);
        return NULL;
    }
    const size_t length = bytes != 0 ? bytes : (size_t)(object->size - offset);
    void *start = mmap(NULL, length, PROT_READ, MAP_SHARED, object->fd, (off_t)offset);
    if (start == MAP_FAILED) {
        FailFromErrno();
        return NULL;
    }
    if (AddView(start, (length + kPage - 1) & ~(kPage - 1)) == NULL) {
        munmap(start, length);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    return start;
}

BOOL UnmapViewOfFile(LPCVOID start)
{
    std::lock_guard<std::mutex> guard(viewsLock);
    View *view = start != NULL ? FindView(start) : NULL;
    if (view == NULL)
        return FailWith(ERROR_INVALID_ADDRESS);
    const bool damaged = view->damaged.load();
    const BOOL unmapped = munmap((void *)start, view->length.load()) == 0;
    view->start.store(0);
    if (!unmapped)
        return FailFromErrno();
    return damaged ? FailWith(ERROR_READ_FAULT) : TRUE;
}

BOOL FileViewsFailSafely(void)
{
    return TRUE;
}
