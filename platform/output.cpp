#include "output.h"

#include "file_identity.h"
#include "path_rules.h"

#include <atomic>
#include <mutex>

#ifndef _WIN32
#  include <signal.h>
#  include <unistd.h>
#endif

namespace {

// Bytes copied at a time.
const DWORD kCopyChunk = 1u << 20;
// Names tried before a folder full of them is given up on.
const int kNameTries = 100;
const char kTempMark[] = ".zorvik-";
// The XXXXXX of the temporary name.
const int kTempLetters = 6;

// The job's thread changes the record under the lock; a stop handled on
// another thread (Windows) takes it too. A signal handler cannot: it reads
// inProgress, which is set only once tempPath is written and cleared before
// anything else is changed.
std::mutex g_lock;
char g_tempPath[MAX_PATH];
char g_finalPath[MAX_PATH];
HANDLE g_held = INVALID_HANDLE_VALUE;
BOOL g_overReadOnly = FALSE;
std::atomic<bool> g_inProgress{false};
static_assert(std::atomic<bool>::is_always_lock_free, "signal handlers read it");

// Where the file name in path begins, after its last separator of any kind.
const char *NameIn(const char *path)
{
    const char *name = path;
    for (const char *at = path; *at != '\0'; at = CharNextA(at)) {
        if (IsPathSeparator(at) || *at == '/' || *at == ':')
            name = at + 1;
    }
    return name;
}

// Writes path's folder, ".NAME" (or nothing where that would not fit), the
// mark and kTempLetters letters taken from seed into temp (MAX_PATH bytes).
// Returns 0 when not even the short form fits.
BOOL MakeTempName(const char *path, uint64_t seed, char *temp)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    char letters[kTempLetters + 1];
    for (int i = 0; i < kTempLetters; ++i, seed /= 36)
        letters[i] = kLetters[seed % 36];
    letters[kTempLetters] = '\0';
    const char *name = NameIn(path);
    int folder = (int)(name - path), nameLength = lstrlenA(name);
    int fixed = folder + (int)sizeof kTempMark - 1 + kTempLetters;
    bool withName = fixed + 1 + nameLength < MAX_PATH;
    if (!withName && fixed >= MAX_PATH)
        return FALSE;
    lstrcpynA(temp, path, folder + 1);
    wsprintfA(temp + folder, "%s%s%s%s", withName ? "." : "", withName ? name : "", kTempMark, letters);
    return TRUE;
}

// A number that differs between processes and calls.
uint64_t NextSeed(void)
{
    static std::atomic<uint64_t> counter{0};
    uint64_t x = ((uint64_t)GetCurrentProcessId() << 32) ^ GetTickCount() ^ (++counter * 0x9E3779B97F4A7C15ull);
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    return x ^ (x >> 29);
}

// Whether the file at path opens as a file; asked with no access, which
// needs no permission and keeps no one out.
BOOL OpensAsFile(const char *path)
{
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    CloseHandle(file);
    return TRUE;
}

// Whether an output may take the name path: nothing is there (a link that
// leads nowhere is nothing), or a file, or a link to one; with overReadOnly
// false, not one marked read-only. Sets the last error when not.
BOOL MayReplace(const char *path, BOOL overReadOnly)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return TRUE;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) || !OpensAsFile(path)) {
        SetLastError(ERROR_BAD_FILE_TYPE);
        return FALSE;
    }
    if (!overReadOnly && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

// The file whose permission bits a new output takes; null for none. Windows
// gives a new file the attributes of its template, the read-only mark among
// them, and an output is made writable: there the folder's defaults hold.
HANDLE OpenModeSource(const char *path)
{
#ifdef _WIN32
    (void)path;
    return NULL;
#else
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    return file == INVALID_HANDLE_VALUE ? NULL : file;
#endif
}

// Makes a new file under a temporary name beside path. Under g_lock.
HANDLE CreateTempFile(const char *path, const char *modeSource)
{
    HANDLE source = OpenModeSource(modeSource);
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILENAME_EXCED_RANGE;
    for (int i = 0; i < kNameTries && file == INVALID_HANDLE_VALUE; ++i) {
        if (!MakeTempName(path, NextSeed(), g_tempPath))
            break;
        file = CreateFileA(g_tempPath, GENERIC_READ | GENERIC_WRITE | DELETE, 0, NULL, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, source);
        error = GetLastError();
        if (file == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            break;
    }
    if (source != NULL)
        CloseHandle(source);
    SetLastError(file == INVALID_HANDLE_VALUE ? error : ERROR_SUCCESS);
    return file;
}

// Copies what is left of from into to, through a page-aligned chunk: the
// system's copy between a file and memory that lies at another offset within
// its page can be several times slower.
BOOL CopyContents(HANDLE from, HANDLE to)
{
    unsigned char *chunk = (unsigned char *)VirtualAlloc(NULL, kCopyChunk, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    BOOL copied = chunk != NULL;
    for (DWORD got = kCopyChunk; copied && got == kCopyChunk;) {
        DWORD written = 0;
        copied = ReadFile(from, chunk, kCopyChunk, &got, NULL) &&
                 (got == 0 || (WriteFile(to, chunk, got, &written, NULL) && written == got));
    }
    if (chunk != NULL)
        VirtualFree(chunk, 0, MEM_RELEASE);
    return copied;
}

// Gives the held output its final name: on the disk first, then renamed over
// the older file in one step. Under g_lock, with an output in progress; the
// handle is closed either way.
BOOL Publish(void)
{
    BOOL flushed = FlushFileBuffers(g_held);
    DWORD error = GetLastError();
    BOOL closed = CloseHandle(g_held);
    if (!flushed || !closed) {
        SetLastError(flushed ? GetLastError() : error);
        return FALSE;
    }
    if (!MayReplace(g_finalPath, g_overReadOnly))
        return FALSE;
    if (g_overReadOnly)
        SetFileAttributesA(g_finalPath, FILE_ATTRIBUTE_NORMAL);
    return MoveFileExA(g_tempPath, g_finalPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

}  // namespace

HANDLE BeginOutput(const char *path, const char *modeSource, BOOL overReadOnly)
{
    if (lstrlenA(path) >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    if (!MayReplace(path, overReadOnly))
        return INVALID_HANDLE_VALUE;
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_inProgress) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = CreateTempFile(path, modeSource);
    if (file == INVALID_HANDLE_VALUE)
        return file;
    lstrcpynA(g_finalPath, path, MAX_PATH);
    g_held = file;
    g_overReadOnly = overReadOnly;
    g_inProgress = true;
    return file;
}

CopyOutcome CopyIntoOutput(HANDLE output, const char *source)
{
    HANDLE from = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (from == INVALID_HANDLE_VALUE)
        return kNotCopied;
    FileStamp before, after;
    BOOL copied = TakeFileStamp(from, &before) && CopyContents(from, output);
    DWORD error = GetLastError();
    BOOL same = copied && TakeFileStamp(from, &after) && SameStamp(before, after);
    CloseHandle(from);
    SetLastError(error);
    return !copied ? kNotCopied : same ? kCopied : kSourceChanged;
}

BOOL EndOutput(BOOL keep)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (!g_inProgress)
        return FALSE;
    BOOL published = FALSE;
    if (keep) {
        published = Publish();
    } else {
        FILE_DISPOSITION_INFO dispose = {TRUE};
        SetFileInformationByHandle(g_held, FileDispositionInfo, &dispose, sizeof dispose);
        CloseHandle(g_held);
    }
    DWORD error = GetLastError();
    if (keep && !published)
        DeleteFileA(g_tempPath);
    g_inProgress = false;
    g_held = INVALID_HANDLE_VALUE;
    SetLastError(error);
    return published;
}

#ifdef _WIN32

// Runs on a thread of its own. The output is marked for deletion through its
// own handle, which works whoever else holds it in this process; the system
// deletes it as the process ends. Mid-publish, the lock waits for the rename.
static BOOL WINAPI StopOnConsoleEvent(DWORD event)
{
    (void)event;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (g_inProgress) {
            FILE_DISPOSITION_INFO dispose = {TRUE};
            SetFileInformationByHandle(g_held, FileDispositionInfo, &dispose, sizeof dispose);
        }
    }
    ExitProcess(1);
    return TRUE;
}

void RemoveOutputOnStop(void)
{
    SetConsoleCtrlHandler(StopOnConsoleEvent, TRUE);
}

#else

// Only what is safe in a signal handler: unlink, then the signal again with
// its default action, which ends the process once this handler returns. Once
// published, the temporary name is gone and the unlink finds nothing.
static void StopOnSignal(int signalNumber)
{
    if (g_inProgress)
        unlink(g_tempPath);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

void RemoveOutputOnStop(void)
{
    static const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    for (int signalNumber : kStopSignals) {
        struct sigaction action = {};
        if (sigaction(signalNumber, NULL, &action) != 0 || action.sa_handler == SIG_IGN)
            continue;  // nohup, or a job in the background of a shell: stays ignored
        action.sa_handler = StopOnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(signalNumber, &action, NULL);
    }
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

#endif
