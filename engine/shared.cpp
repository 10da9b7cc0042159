#include "engine/shared.h"

#include <limits.h>

void SetEngineText(char *message, DWORD messageSize, const char *format, const char *path)
{
    if (message == NULL || messageSize == 0)
        return;
    // wsprintfA writes at most 1024 bytes and the terminator, whatever the path.
    char text[1025];
    wsprintfA(text, format, path);
    lstrcpynA(message, text, messageSize > INT_MAX ? INT_MAX : (int)messageSize);
}
