#include "path_rules.h"

#ifdef _WIN32

const char kPathSeparator = '\\';

BOOL SameNameBySystem(const char *a, const char *b)
{
    return lstrcmpiA(a, b) == 0;
}

// The system's comparison is asked as well, so that names the file system
// takes for one file are never treated as two.
BOOL SameNameByteFolded(const char *a, const char *b)
{
    for (const char *x = a, *y = b;; ++x, ++y) {
        char cx = (*x >= 'A' && *x <= 'Z') ? (char)(*x + ('a' - 'A')) : *x;
        char cy = (*y >= 'A' && *y <= 'Z') ? (char)(*y + ('a' - 'A')) : *y;
        if (cx != cy)
            return SameNameBySystem(a, b);
        if (cx == '\0')
            return TRUE;
    }
}

void ShowablePath(const char *path, char *shown)
{
    lstrcpynA(shown, path, SHOWN_PATH_SIZE);
}

#else

const char kPathSeparator = '/';

BOOL SameNameBySystem(const char *a, const char *b)
{
    return lstrcmpA(a, b) == 0;
}

BOOL SameNameByteFolded(const char *a, const char *b)
{
    return SameNameBySystem(a, b);
}

// How many bytes the UTF-8 character at text takes when it is valid and no
// control (a C1 control is 0xC2 0x80-0x9F); 0 otherwise.
static int PrintableCharacterLength(const unsigned char *text)
{
    unsigned char lead = text[0];
    if (lead < 0x80)
        return lead >= 0x20 && lead != 0x7F ? 1 : 0;
    int length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    for (int i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80)
            return 0;
    }
    // Overlong forms, surrogates, code points past U+10FFFF and C1 controls.
    unsigned char second = text[1];
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F) || (lead == 0xC2 && second < 0xA0))
        return 0;
    return length;
}

void ShowablePath(const char *path, char *shown)
{
    static const char kHex[] = "0123456789abcdef";
    const unsigned char *at = (const unsigned char *)path;
    char *out = shown, *end = shown + SHOWN_PATH_SIZE - 1;
    while (*at != '\0') {
        int length = PrintableCharacterLength(at);
        if (length == 0 && end - out >= 4) {
            *out++ = '\\';
            *out++ = 'x';
            *out++ = kHex[*at >> 4];
            *out++ = kHex[*at & 15];
            ++at;
        } else if (length > 0 && end - out >= length) {
            for (int i = 0; i < length; ++i)
                *out++ = (char)*at++;
        } else {
            break;
        }
    }
    *out = '\0';
}

#endif

BOOL IsPathSeparator(const char *text)
{
    return *text == kPathSeparator;
}
