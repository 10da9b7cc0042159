// zorvik.exe: start-up and the single-instance hand-over around the main dialog.
#include <windows.h>
#include <commctrl.h>

#include "notify/notifications.h"
#include "settings/settings.h"
#include "ui/main_dialog.h"

#define INSTANCE_MUTEX_NAME "ZORVIK_MUTEX"

// Copies tail into dest of destSize bytes without its double quotes, cut to
// whole characters so that no lead byte is left without its trail byte.
static void CopyWithoutQuotes(const char *tail, char *dest, int destSize)
{
    int length = 0;
    for (const char *next; *tail != '\0'; tail = next) {
        next = CharNextA(tail);
        int size = (int)(next - tail);
        if (*tail == '"')
            continue;
        if (length + size > destSize - 1)
            break;
        CopyMemory(dest + length, tail, size);
        length += size;
    }
    dest[length] = '\0';
}

// The running instance's main dialog, or null. Its message boxes have the same
// class and title, and lie above it while a job asks or reports, so the
// dialog is the one that no other window owns.
static HWND FindRunningDialog(void)
{
    HWND window = NULL;
    while ((window = FindWindowExA(NULL, window, MAIN_DIALOG_CLASS, MAIN_DIALOG_TITLE)) != NULL) {
        if (GetWindow(window, GW_OWNER) == NULL)
            return window;
    }
    return NULL;
}

// Brings the running instance's dialog to the front and hands it the tail,
// quotes and all; returns once that dialog has handled it.
static void HandOver(const char *tail)
{
    HWND running = FindRunningDialog();
    if (running == NULL)
        return;
    SetForegroundWindow(running);
    if (tail[0] == '\0')
        return;
    COPYDATASTRUCT data;
    data.dwData = OPEN_PATCH_COPYDATA;
    data.cbData = (DWORD)lstrlenA(tail) + 1;
    data.lpData = (PVOID)tail;
    SendMessageA(running, WM_COPYDATA, 0, (LPARAM)&data);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR tail, int)
{
    LoadSettings();
    JobRequest request;
    ZeroMemory(&request, sizeof request);
    InitCommonControls();

    HANDLE mutex = CreateMutexA(NULL, TRUE, INSTANCE_MUTEX_NAME);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        HandOver(tail);
        if (mutex != NULL)
            CloseHandle(mutex);
        return 0;
    }
    CopyWithoutQuotes(tail, request.firstPath, sizeof request.firstPath);
    DialogBoxParamA(instance, "MAINWNDDLG", NULL, MainDialogProc, (LPARAM)&request);
    // From here on a new start runs as a first instance, while this one saves.
    if (mutex != NULL)
        CloseHandle(mutex);
    SaveSettings();
    return 0;
}
