#include "file_views.h"

BOOL FileViewsFailSafely(void)
{
    return FALSE;
}

void PrefaultView(const void *view, size_t bytes)
{
    unsigned char pages = 0;
    for (size_t page = 0; page < bytes; page += 4096)
        pages |= ((const volatile unsigned char *)view)[page];
    (void)pages;
}
