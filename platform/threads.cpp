#include "threads.h"

BOOL ThreadsAvailable(void)
{
    return TRUE;
}
