#include "output.h"

#include <atomic>
#include <mutex>

#ifndef _WIN32
#  include <signal.h>
#  include <unistd.h>
#endif

namespace {

// Bytes copied at a time.
const DWORD kCopyChunk = 1u << 20;

// The job's thread changes the record under the lock; a stop handled on
// another thread (Windows) takes it too. A signal handler cannot: it reads
// inProgress, which is set only once path is written and cleared before
// anything else is changed.
std::mutex g_lock;
char g_path[MAX_PATH];
HANDLE g_held = INVALID_HANDLE_VALUE;  // the output when this process made it
std::atomic<bool> g_inProgress{false};
static_assert(std::atomic<bool>::is_always_lock_free, "signal handlers read it");
#ifdef _WIN32
// A stop came while the output could not be removed (an engine holds it
// without sharing): it takes effect when the output ends.
std::atomic<bool> g_stopPending{false};
// The exit code of a process stopped where there are no signals.
const UINT kStoppedExitCode = 1;
#endif

// Under g_lock. Returns 0 for a path too long to be kept.
BOOL Begin(const char *path, HANDLE held)
{
    if (lstrlenA(path) >= MAX_PATH)
        return FALSE;
    lstrcpynA(g_path, path, MAX_PATH);
    g_held = held;
    g_inProgress = true;
    return TRUE;
}

// Under g_lock, with an output in progress.
BOOL RemoveInProgress(void)
{
    if (g_held == INVALID_HANDLE_VALUE)
        return DeleteFileA(g_path);
    FILE_DISPOSITION_INFO dispose = {TRUE};
    return SetFileInformationByHandle(g_held, FileDispositionInfo, &dispose, sizeof dispose);
}

// Makes path a new, empty file, held as the output in progress: made only
// where nothing is, so never through a link, and shared with no one.
BOOL CreateHeldOutput(const char *path)
{
    if (lstrlenA(path) >= MAX_PATH)
        return FALSE;
    HANDLE file =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    std::lock_guard<std::mutex> guard(g_lock);
    return Begin(path, file);
}

// Copies what is left of from into to.
BOOL CopyContents(HANDLE from, HANDLE to)
{
    unsigned char *chunk = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, kCopyChunk);
    BOOL copied = chunk != NULL;
    for (DWORD got = kCopyChunk; copied && got == kCopyChunk;) {
        DWORD written = 0;
        copied = ReadFile(from, chunk, kCopyChunk, &got, NULL) &&
                 (got == 0 || (WriteFile(to, chunk, got, &written, NULL) && written == got));
    }
    if (chunk != NULL)
        HeapFree(GetProcessHeap(), 0, chunk);
    return copied;
}

}  // namespace

void MarkOutput(const char *path)
{
    std::lock_guard<std::mutex> guard(g_lock);
    Begin(path, INVALID_HANDLE_VALUE);
}

BOOL CopyToNewOutput(const char *source, const char *path, BOOL replace)
{
    HANDLE from = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (from == INVALID_HANDLE_VALUE)
        return FALSE;
    if (replace) {
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path);
    }
    BOOL copied = CreateHeldOutput(path) && CopyContents(from, g_held);
    CloseHandle(from);
    if (!copied)
        EndOutput(FALSE);
    return copied;
}

void EndOutput(BOOL keep)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (!g_inProgress)
        return;
    g_inProgress = false;
#ifdef _WIN32
    keep = keep && !g_stopPending;
#endif
    if (!keep)
        RemoveInProgress();
    if (g_held != INVALID_HANDLE_VALUE)
        CloseHandle(g_held);
    g_held = INVALID_HANDLE_VALUE;
#ifdef _WIN32
    if (g_stopPending)
        ExitProcess(kStoppedExitCode);
#endif
}

HANDLE DuplicateHeldOutput(const char *path)
{
    std::lock_guard<std::mutex> guard(g_lock);
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (g_inProgress && g_held != INVALID_HANDLE_VALUE && lstrcmpA(path, g_path) == 0 &&
        !DuplicateHandle(GetCurrentProcess(), g_held, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        copy = INVALID_HANDLE_VALUE;
    return copy;
}

#ifdef _WIN32

// Runs on a thread of its own. An output that an engine holds open without
// sharing cannot be removed before the engine lets it go: then EndOutput
// removes it and ends the process, and this thread waits for that.
static BOOL WINAPI StopOnConsoleEvent(DWORD event)
{
    (void)event;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_stopPending = g_inProgress && !RemoveInProgress();
    }
    if (!g_stopPending)
        ExitProcess(kStoppedExitCode);
    Sleep(INFINITE);
    return TRUE;
}

void RemoveOutputOnStop(void)
{
    SetConsoleCtrlHandler(StopOnConsoleEvent, TRUE);
}

#else

// Only what is safe in a signal handler: unlink, then the signal again with
// its default action, which ends the process once this handler returns.
static void StopOnSignal(int signalNumber)
{
    if (g_inProgress)
        unlink(g_path);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

void RemoveOutputOnStop(void)
{
    static const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
    for (int signalNumber : kStopSignals) {
        struct sigaction action = {};
        if (sigaction(signalNumber, NULL, &action) != 0 || action.sa_handler == SIG_IGN)
            continue;  // nohup, or a job in the background of a shell: stays ignored
        action.sa_handler = StopOnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(signalNumber, &action, NULL);
    }
}

#endif
