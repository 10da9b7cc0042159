#include "file_identity.h"

// The identity of the file at path in info; 0 when there is none. The file is
// opened for no access, which every sharing allows.
static BOOL GetFileIdentity(const char *path, BY_HANDLE_FILE_INFORMATION *info)
{
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    BOOL known = GetFileInformationByHandle(file, info);
    CloseHandle(file);
    return known;
}

// Some network volumes report a zero volume serial or file index: no identity.
// SameFile asks only of a's, which b's then equals when it is the same file.
static BOOL IsKnown(const BY_HANDLE_FILE_INFORMATION &info)
{
    return info.dwVolumeSerialNumber != 0 && (info.nFileIndexHigh != 0 || info.nFileIndexLow != 0);
}

BOOL SameFile(const char *a, const char *b)
{
    BY_HANDLE_FILE_INFORMATION x, y;
    return GetFileIdentity(a, &x) && IsKnown(x) && GetFileIdentity(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

BOOL TakeFileStamp(HANDLE file, FileStamp *stamp)
{
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic))
        return FALSE;
    SetLastError(ERROR_SUCCESS);
    DWORD high = 0, low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS)
        return FALSE;
    *stamp = {(int64_t)(((uint64_t)high << 32) | low), basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart};
    return TRUE;
}
