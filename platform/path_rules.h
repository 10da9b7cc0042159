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

// 1 when two paths are one name by the system's comparison: lstrcmpiA's on
// Windows (letter case ignored, character by character), byte for byte
// elsewhere.
BOOL SameNameBySystem(const char *a, const char *b);

// 1 when two paths are one name by SameNameBySystem or, on Windows, once the
// bytes A to Z are taken for a to z wherever they stand, whatever the locale:
// the trail byte of a Shift-JIS character too, so that ア (83 41) and ヂ
// (83 61) count as one. Byte for byte elsewhere. The wider rule, for the check
// that a patched copy is not named like its target.
BOOL SameNameByteFolded(const char *a, const char *b);

// Room for any path of MAX_PATH - 1 bytes as ShowablePath writes it.
#define SHOWN_PATH_SIZE (4 * MAX_PATH)

// path as it may be shown to a user, into shown (SHOWN_PATH_SIZE bytes). On
// Windows it is path itself. Elsewhere the bytes that could steer a terminal
// or a reader are written as \xNN: control bytes (below 0x20, 0x7F and the
// C1 controls U+0080 to U+009F) and every byte that is not part of valid UTF-8.
void ShowablePath(const char *path, char *shown);

#endif
