#include "console.h"

#include <string.h>

#ifdef _WIN32
#  include <io.h>

BOOL IsTerminal(FILE *stream)
{
    return _isatty(_fileno(stream)) != 0;
}

const char *SystemReason(DWORD error)
{
    (void)error;
    return NULL;
}

#else
#  include "posix/errors.h"

#  include <unistd.h>

BOOL IsTerminal(FILE *stream)
{
    return isatty(fileno(stream)) != 0;
}

const char *SystemReason(DWORD error)
{
    return SystemReasonText(error);
}

#endif

BOOL ReadInputLine(char *line, DWORD size)
{
    if (size == 0 || fgets(line, (int)size, stdin) == NULL)
        return FALSE;
    size_t length = strlen(line);
    if (length > 0 && line[length - 1] == '\n') {
        line[--length] = '\0';
    } else {
        int c;
        while ((c = getchar()) != EOF && c != '\n')
            ;
    }
    if (length > 0 && line[length - 1] == '\r')
        line[length - 1] = '\0';
    return TRUE;
}
