#include "win32_subset.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

// Windows' wsprintfA writes at most 1024 bytes, the terminator included.
static const int kFormatLimit = 1024;

int wsprintfA(LPSTR buffer, LPCSTR format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(buffer, kFormatLimit, format, arguments);
    va_end(arguments);
    if (length < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return length < kFormatLimit ? length : kFormatLimit - 1;
}

int lstrlenA(LPCSTR text)
{
    return text == NULL ? 0 : (int)strlen(text);
}

static int Sign(int value)
{
    return (value > 0) - (value < 0);
}

int lstrcmpA(LPCSTR a, LPCSTR b)
{
    return Sign(strcmp(a == NULL ? "" : a, b == NULL ? "" : b));
}

int lstrcmpiA(LPCSTR a, LPCSTR b)
{
    return Sign(strcasecmp(a == NULL ? "" : a, b == NULL ? "" : b));
}

LPSTR lstrcpynA(LPSTR dest, LPCSTR source, int maxLength)
{
    if (maxLength <= 0)
        return dest;
    int i = 0;
    for (; i < maxLength - 1 && source[i] != '\0'; ++i)
        dest[i] = source[i];
    dest[i] = '\0';
    return dest;
}

LPSTR CharNextA(LPCSTR text)
{
    if (*text == '\0')
        return (LPSTR)text;
    ++text;
    while (((unsigned char)*text & 0xC0) == 0x80)  // UTF-8 continuation bytes
        ++text;
    return (LPSTR)text;
}

