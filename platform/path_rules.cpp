#include "path_rules.h"

#ifdef _WIN32

const char kPathSeparator = '\\';

BOOL SamePathName(const char *a, const char *b)
{
    return lstrcmpiA(a, b) == 0;
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
