// How this platform spells and compares paths, so that the path helpers can be
// written once for both builds.
#ifndef ZORVIK_PLATFORM_PATH_RULES_H
#define ZORVIK_PLATFORM_PATH_RULES_H

#include "win32.h"

// The directory separator: '\\' on Windows, '/' elsewhere.
extern const char kPathSeparator;

// 1 when the character that starts at text is a directory separator. On
// Windows a Shift-JIS trail byte 0x5C is not one; step through a path with
// CharNextA to stay on character boundaries.
BOOL IsPathSeparator(const char *text);

// 1 when two paths name the same file as far as the file system's rules for
// names go: on Windows ignoring letter case (the bytes A to Z taken for a to z
// whatever the locale, and whatever else the system takes for equal), byte for
// byte elsewhere.
BOOL SamePathName(const char *a, const char *b);

#endif
