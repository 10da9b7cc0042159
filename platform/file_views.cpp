#include "file_views.h"

BOOL FileViewsFailSafely(void)
{
    return FALSE;
}
