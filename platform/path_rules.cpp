#include "path_rules.h"

#ifdef _WIN32

const char kPathSeparator = '\\';

// Byte-wise, A to Z taken for a to z and nothing else, whatever the locale;
// the system's own comparison is asked as well, so that names the file system
// takes for one file are never treated as two.
BOOL SamePathName(const char *a, const char *b)
{
    for (const char *x = a, *y = b;; ++x, ++y) {
        char cx = (*x >= 'A' && *x <= 'Z') ? (char)(*x + ('a' - 'A')) : *x;
        char cy = (*y >= 'A' && *y <= 'Z') ? (char)(*y + ('a' - 'A')) : *y;
        if (cx != cy)
            return lstrcmpiA(a, b) == 0;
        if (cx == '\0')
            return TRUE;
    }
}

#else

const char kPathSeparator = '/';

BOOL SamePathName(const char *a, const char *b)
{
    return lstrcmpA(a, b) == 0;
}

#endif

BOOL IsPathSeparator(const char *text)
{
    return *text == kPathSeparator;
}
