#include "progress.h"

#include "platform/console.h"

#include <stdio.h>
#include <string.h>

#define BAR_WIDTH 30
#define STATUS_SIZE 128

// The status and the length of the bar line shown last; only the window's
// thread draws, so no lock is needed.
static char g_status[STATUS_SIZE];
static size_t g_shownLength;

ProgressStyle ChooseProgressStyle(bool wanted)
{
    if (IsTerminal(stderr))
        return kProgressBar;
    return wanted ? kProgressLines : kProgressNone;
}

void ShowProgress(ProgressStyle style, unsigned percent, const char *status)
{
    if (style == kProgressNone)
        return;
    if (status != NULL) {
        strncpy(g_status, status, sizeof g_status - 1);
        g_status[sizeof g_status - 1] = '\0';
    }
    if (style == kProgressLines) {
        fprintf(stderr, "%3u%% %s\n", percent, g_status);
        return;
    }
    char bar[BAR_WIDTH + 1];
    unsigned filled = (percent > 100 ? 100 : percent) * BAR_WIDTH / 100;
    memset(bar, '#', filled);
    memset(bar + filled, ' ', BAR_WIDTH - filled);
    bar[BAR_WIDTH] = '\0';
    char line[BAR_WIDTH + STATUS_SIZE + 16];
    int length = snprintf(line, sizeof line, "[%s] %3u%% %s", bar, percent, g_status);
    // Pads over the rest of a longer line shown before.
    fprintf(stderr, "\r%s%*s", line, g_shownLength > (size_t)length ? (int)(g_shownLength - length) : 0,
            "");
    fflush(stderr);
    g_shownLength = (size_t)length;
}

void EndProgress(ProgressStyle style)
{
    if (style != kProgressBar || g_shownLength == 0)
        return;
    fprintf(stderr, "\r%*s\r", (int)g_shownLength, "");
    fflush(stderr);
    g_shownLength = 0;
}
