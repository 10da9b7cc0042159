// The subset of Win32 that Zorvik's portable code calls, for POSIX systems.
// Names, signatures and results follow Win32; only what a caller needs is here.
//
// Known differences from Windows, by design:
// - Share modes of CreateFileA count only as "shares nothing" (0) or "shares":
//   a handle that reads or writes and shares nothing keeps every other handle
//   of ours out and opens only when none is open; handles that share open side
//   by side, whatever they share. Programs that do not lock files are not kept
//   out (POSIX has no mandatory locking). A file that a handle holds open is
//   not deleted. Everything else about opening follows Windows: a directory
//   cannot be opened as a file, and a file whose read-only attribute is set (no
//   write permission bits) cannot be opened for writing, deleted or
//   overwritten, even by root.
// - Only regular files open as files: FIFOs, devices and sockets are refused
//   like directories, without waiting for a FIFO's other end.
// - ReadFile and WriteFile at an OVERLAPPED's offset leave the file's position
//   where it was; Windows moves it past the bytes transferred.
// - FILE_ATTRIBUTE_READONLY maps to "no write permission bits".
// - CreateFileA with no access (0) asks about the file only: it takes no lock
//   and needs no permission to read the file.
// - CreateWindowExA makes message-only windows: no creation messages are sent,
//   and only SendMessageA, PostMessageA and the message loop act on them.
// - A thread blocked in SendMessageA to another thread does not handle messages
//   sent to its own windows meanwhile.
#ifndef ZORVIK_PLATFORM_POSIX_WIN32_SUBSET_H
#define ZORVIK_PLATFORM_POSIX_WIN32_SUBSET_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int INT;
typedef unsigned int UINT;
typedef char CHAR;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef WORD ATOM;
typedef unsigned char BOOLEAN;
typedef void *HANDLE;
typedef HANDLE *LPHANDLE;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef DWORD *LPDWORD;
typedef struct HWND__ *HWND;
typedef struct HINSTANCE__ *HINSTANCE;
typedef struct HMENU__ *HMENU;
typedef struct HICON__ *HICON;
typedef struct HCURSOR__ *HCURSOR;
typedef struct HBRUSH__ *HBRUSH;

#ifndef TRUE
#  define TRUE 1
#endif
#ifndef FALSE
#  define FALSE 0
#endif

#define MAX_PATH 260

#define LOWORD(l) ((WORD)(((UINT_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((UINT_PTR)(l)) >> 16) & 0xffff))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)(((WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))

// ---- errors
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_WRITE_PROTECT 19
#define ERROR_WRITE_FAULT 29
#define ERROR_READ_FAULT 30
#define ERROR_SHARING_VIOLATION 32
#define ERROR_HANDLE_EOF 38
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_DISK_FULL 112
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_INVALID_ADDRESS 487
#define ERROR_FILE_INVALID 1006
#define ERROR_MAPPED_ALIGNMENT 1132
#define ERROR_BAD_FILE_TYPE 222
#define ERROR_FILE_TOO_LARGE 223
#define ERROR_ALREADY_EXISTS 183
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_CLASS_ALREADY_EXISTS 1410
#define ERROR_CANNOT_FIND_WND_CLASS 1407

DWORD GetLastError(void);
void SetLastError(DWORD code);

// ---- files
#define DELETE 0x00010000u
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define FILE_SHARE_DELETE 0x4u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_READONLY 0x1u
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_ARCHIVE 0x20u
#define FILE_ATTRIBUTE_NORMAL 0x80u
// A hint that the file is read from start to end: the system reads further
// ahead (posix_fadvise POSIX_FADV_SEQUENTIAL).
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// Only Offset and OffsetHigh are looked at: where a transfer starts.
typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;

// A file's identity is its volume serial number and its index on the volume
// (here the device and the inode). The times are left zero.
typedef struct _BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION, *LPBY_HANDLE_FILE_INFORMATION;

// CREATE_NEW makes a file only where nothing is, not even a link. A new file
// takes the permission bits of templateFile (when given) under the umask,
// with the owner's write bit: it is made to be written, and here the read-only
// attribute is the absence of write bits.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
// ReadFile and WriteFile transfer at the file's position, or at the offset an
// OVERLAPPED gives. A read goes on until count bytes are in or the end of the
// file is reached; one at an offset at or past the end fails with
// ERROR_HANDLE_EOF, as on Windows.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped);
// A short write (a full disk) returns FALSE with ERROR_DISK_FULL and the count written.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);

// File mappings: read only (PAGE_READONLY, FILE_MAP_READ), of the whole file
// (sizes 0), unnamed; an empty file has none (ERROR_FILE_INVALID). A view's
// offset is a multiple of 64 KiB and the view lies within the file's size at
// the time the mapping was made. Where Windows raises an in-page error (the
// file cannot be read, or here also was made shorter), the view reads zeros
// there instead and its UnmapViewOfFile fails with ERROR_READ_FAULT.
#define PAGE_READONLY 0x02
#define FILE_MAP_READ 0x0004
HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, size_t bytes);
BOOL UnmapViewOfFile(LPCVOID start);

typedef enum _FILE_INFO_BY_HANDLE_CLASS { FileBasicInfo = 0, FileDispositionInfo = 4 } FILE_INFO_BY_HANDLE_CLASS;
typedef union _LARGE_INTEGER {
    int64_t QuadPart;
} LARGE_INTEGER;
// Times in units of 100 ns; ChangeTime is the inode's change time (ctime).
typedef struct _FILE_BASIC_INFO {
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    DWORD FileAttributes;
} FILE_BASIC_INFO;
// Only FileBasicInfo.
BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size);
typedef struct _FILE_DISPOSITION_INFO {
    BOOLEAN DeleteFile;
} FILE_DISPOSITION_INFO;
// Only FileDispositionInfo. A file marked for deletion is deleted at once,
// not when its last handle is closed, and only while its path (the one it was
// opened by) still leads to it.
BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size);

#define DUPLICATE_SAME_ACCESS 0x2u
HANDLE GetCurrentProcess(void);
// File handles of this process only: the new handle shares the open file,
// its position and its share lock.
BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, LPHANDLE target, DWORD access,
                     BOOL inherit, DWORD options);
BOOL CloseHandle(HANDLE handle);
BOOL DeleteFileA(LPCSTR path);
DWORD GetFileAttributesA(LPCSTR path);
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);
// fsync: what was written through the handle is on the disk.
BOOL FlushFileBuffers(HANDLE file);

#define MOVEFILE_REPLACE_EXISTING 0x1u
#define MOVEFILE_WRITE_THROUGH 0x8u
// rename(2): a link at newPath is replaced, never followed. Like Windows, an
// existing newPath is replaced only with MOVEFILE_REPLACE_EXISTING and only
// when it is a file (or a link) without the read-only attribute: a directory,
// FIFO or device is not replaced. MOVEFILE_WRITE_THROUGH returns once the
// folder that holds newPath is on the disk.
BOOL MoveFileExA(LPCSTR existingPath, LPCSTR newPath, DWORD flags);

// ---- C runtime: a stream on a file handle (<io.h>, <fcntl.h> on Windows)
#define _O_RDONLY 0x0000
#define _O_WRONLY 0x0001
#define _O_RDWR 0x0002
// The descriptor of an open file handle, which takes the handle over: closing
// the descriptor closes the file. -1 for a handle that is not a file. flags
// are not looked at here.
int _open_osfhandle(intptr_t file, int flags);
FILE *_fdopen(int fd, const char *mode);
int _close(int fd);

// ---- process heap
#define HEAP_ZERO_MEMORY 0x8u
HANDLE GetProcessHeap(void);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, size_t bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);

// ---- large blocks of pages: zero-filled, committed and reserved at once
// (MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE) and released whole (MEM_RELEASE)
#define MEM_COMMIT 0x1000u
#define MEM_RESERVE 0x2000u
#define MEM_RELEASE 0x8000u
#define PAGE_READWRITE 0x04u
LPVOID VirtualAlloc(LPVOID address, size_t bytes, DWORD allocationType, DWORD protection);
BOOL VirtualFree(LPVOID address, size_t bytes, DWORD freeType);

// ---- threads and waiting
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259u
typedef DWORD (WINAPI *LPTHREAD_START_ROUTINE)(LPVOID parameter);
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, size_t stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
DWORD GetCurrentThreadId(void);
DWORD GetCurrentProcessId(void);
// Milliseconds since some fixed moment (here the monotonic clock's start).
DWORD GetTickCount(void);
void Sleep(DWORD milliseconds);

// ---- message-only windows and synchronous messages
#define WM_NULL 0x0000
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_USER 0x0400
#define GWLP_USERDATA (-21)
#define HWND_MESSAGE ((HWND)(LONG_PTR)-3)

typedef LRESULT (CALLBACK *WNDPROC)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

typedef struct tagWNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
} WNDCLASSA;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

HINSTANCE GetModuleHandleA(LPCSTR moduleName);
ATOM RegisterClassA(const WNDCLASSA *windowClass);
// The window belongs to the calling thread, which must run a message loop for
// messages from other threads to be delivered.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL DestroyWindow(HWND window);
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrA(HWND window, int index);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// From the owning thread: calls the window procedure directly. From any other
// thread: queues the message for the owner and returns only after the owner has
// run the window procedure to its end. A window that does not exist (or whose
// thread has ended) gets nothing: 0 and ERROR_INVALID_WINDOW_HANDLE.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Handles messages sent from other threads while it waits; returns 0 for WM_QUIT.
BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG *msg);
LRESULT DispatchMessageA(const MSG *msg);
void PostQuitMessage(int exitCode);

// ---- process
LPSTR GetCommandLineA(void);

// ---- strings (narrow text is UTF-8 here, the system's code page)
// Formats like the C library's sprintf, at most 1024 bytes with the terminator,
// as Windows' wsprintfA does; the buffer must hold what is written.
int wsprintfA(LPSTR buffer, LPCSTR format, ...);
int lstrlenA(LPCSTR text);
int lstrcmpA(LPCSTR a, LPCSTR b);
int lstrcmpiA(LPCSTR a, LPCSTR b);
// Copies at most maxLength - 1 bytes and always terminates (maxLength > 0).
LPSTR lstrcpynA(LPSTR dest, LPCSTR source, int maxLength);
// The next character: one byte further, or more for a multi-byte character.
LPSTR CharNextA(LPCSTR text);

// ---- private-profile (INI) files
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                               DWORD size, LPCSTR fileName);
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName);

#endif
