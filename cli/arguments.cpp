#include "arguments.h"

#include "notify/notifications.h"

#include <string.h>

void PrintUsage(FILE *stream)
{
    fputs("Usage: zorvik [options] apply PATCH FILE\n"
          "       zorvik [options] create ORIGINAL MODIFIED\n"
          "       zorvik [--records] [--json] info PATCH\n"
          "\n"
          "apply   copies FILE beside PATCH, named like PATCH with FILE's extension,\n"
          "        and applies the IPS32 patch PATCH to that copy.\n"
          "create  writes an IPS32 patch beside MODIFIED, named like it with the\n"
          "        extension ips, that turns ORIGINAL into MODIFIED.\n"
          "info    reads PATCH through without applying it and tells whether it is\n"
          "        well formed (or where it breaks), its records, the bytes they\n"
          "        carry, the offsets they write, the smallest size of a patched\n"
          "        file and the bytes after the terminator.\n"
          "\n"
          "Options:\n"
          "  -y, --yes     answer yes to every question\n"
          "  --progress    show progress on stderr even when it is no terminal\n"
          "  --records     info: list every record (position, offset, form, size)\n"
          "  --json        info: the report as one JSON object\n"
          "  --help        show this text\n"
          "  --version     show the version\n"
          "\n"
          "Questions are read from standard input; at its end the answer is no.\n"
          "Exit status: 0 done (info: well formed), 1 failed (info: not well formed),\n"
          "2 wrong usage, 3 a question was answered no.\n",
          stream);
}

static bool UsageError(const char *reason, const char *word)
{
    fprintf(stderr, "zorvik: %s%s\nTry 'zorvik --help'.\n", reason, word);
    return false;
}

// Sets the option that word names; false when it names none.
static bool TakeOption(const char *word, CliArguments *args, bool *wantsHelp, bool *wantsVersion)
{
    if (strcmp(word, "-y") == 0 || strcmp(word, "--yes") == 0)
        args->yes = true;
    else if (strcmp(word, "--progress") == 0)
        args->progress = true;
    else if (strcmp(word, "--records") == 0)
        args->records = true;
    else if (strcmp(word, "--json") == 0)
        args->json = true;
    else if (strcmp(word, "--help") == 0 || strcmp(word, "-h") == 0)
        *wantsHelp = true;
    else if (strcmp(word, "--version") == 0)
        *wantsVersion = true;
    else
        return false;
    return true;
}

bool ParseArguments(int argc, char **argv, CliArguments *args)
{
    *args = CliArguments{kCommandHelp, false, false, false, false, NULL, NULL};
    const char *words[3];
    int count = 0;
    bool wantsHelp = false, wantsVersion = false, onlyPaths = false;
    for (int i = 1; i < argc; ++i) {
        const char *word = argv[i];
        if (!onlyPaths && strcmp(word, "--") == 0) {
            onlyPaths = true;
        } else if (!onlyPaths && word[0] == '-' && word[1] != '\0') {
            if (!TakeOption(word, args, &wantsHelp, &wantsVersion))
                return UsageError("unknown option: ", word);
        } else {
            if (count == 3)
                return UsageError("too many arguments: ", word);
            words[count++] = word;
        }
    }
    if (wantsHelp)
        return true;
    if (wantsVersion) {
        args->command = kCommandVersion;
        return true;
    }
    if (count == 0)
        return UsageError("missing command", "");
    if (strcmp(words[0], "apply") == 0)
        args->command = kCommandApply;
    else if (strcmp(words[0], "create") == 0)
        args->command = kCommandCreate;
    else if (strcmp(words[0], "info") == 0)
        args->command = kCommandInfo;
    else
        return UsageError("unknown command: ", words[0]);
    const int paths = args->command == kCommandInfo ? 1 : 2;
    if (count != 1 + paths)
        return UsageError(words[0], paths == 1 ? " needs one path" : " needs two paths");
    if ((args->records || args->json) && args->command != kCommandInfo)
        return UsageError("--records and --json go with info only, not ", words[0]);
    for (int i = 1; i < count; ++i) {
        if (strlen(words[i]) >= PATH_BUFFER_SIZE)
            return UsageError("path longer than 259 bytes: ", words[i]);
    }
    args->first = words[1];
    args->second = paths == 2 ? words[2] : NULL;
    return true;
}
