#include "ui/browse.h"

#include <commdlg.h>

#define FILE_TITLE_SIZE 64

// sizeof() adds the terminator to the last pair's, so each list ends in three NULs.
const char kPatchFilter[] = "IPS(*.ips)\0*.ips\0";
const char kAllFilesFilter[] = "All(*.*)\0*.*\0";

BOOL BrowseForFile(char *directory, char *result, HWND owner, const char *filter, DWORD resultSize,
                   const char *title)
{
    char fileTitle[FILE_TITLE_SIZE];
    ZeroMemory(result, resultSize);
    ZeroMemory(fileTitle, sizeof fileTitle);

    OPENFILENAMEA dialog;
    ZeroMemory(&dialog, sizeof dialog);
    // The original structure, without the Windows 2000 fields.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = result;
    dialog.nMaxFile = resultSize;
    dialog.lpstrFileTitle = fileTitle;
    dialog.nMaxFileTitle = sizeof fileTitle;
    dialog.lpstrInitialDir = directory;
    dialog.lpstrTitle = title;
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&dialog))
        return FALSE;
    // nFileOffset counts the backslash before the name; lstrcpynA's count
    // includes the terminator, so the backslash is left out.
    lstrcpynA(directory, result, dialog.nFileOffset);
    return TRUE;
}
