#include "answers.h"

#include "platform/console.h"

#include <stdio.h>

// Long enough for "yes" with blanks around it; longer lines are cut.
#define ANSWER_SIZE 16

static bool IsWord(const char *line, const char *shortWord, const char *longWord)
{
    return lstrcmpiA(line, shortWord) == 0 || lstrcmpiA(line, longWord) == 0;
}

bool AskUser(const char *question, bool yes)
{
    fprintf(stderr, "%s [y/n] ", question);
    if (yes) {
        fputs("y\n", stderr);
        return true;
    }
    fflush(stderr);
    bool terminal = IsTerminal(stdin) != 0;
    char line[ANSWER_SIZE];
    for (;;) {
        if (!ReadInputLine(line, sizeof line)) {
            fputc('\n', stderr);
            return false;
        }
        if (!terminal)
            fprintf(stderr, "%s\n", line);
        if (IsWord(line, "y", "yes"))
            return true;
        if (IsWord(line, "n", "no") || !terminal)
            return false;
        fputs("Please answer y or n. [y/n] ", stderr);
        fflush(stderr);
    }
}
