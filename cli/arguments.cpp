#include "arguments.h"

#include "notify/notifications.h"
#include "platform/path_rules.h"

#include <string.h>

void PrintUsage(FILE *stream)
{
    fputs("Usage: zorvik [options] apply PATCH... FILE\n"
          "       zorvik [options] create ORIGINAL MODIFIED\n"
          "       zorvik [--records] [--json] info PATCH\n"
          "\n"
          "apply   copies FILE beside the last PATCH, named like it with FILE's\n"
          "        extension, and applies the IPS32 patches to that copy in order.\n"
          "        When FILE already holds what the patches write, it asks first.\n"
          "create  writes an IPS32 patch beside MODIFIED, named like it with the\n"
          "        extension ips, that turns ORIGINAL into MODIFIED.\n"
          "info    reads PATCH through without applying it and tells whether it is\n"
          "        well formed (or where it breaks), its records, the bytes they\n"
          "        carry, the offsets they write, the smallest size of a patched\n"
          "        file and the bytes after the terminator.\n"
          "\n"
          "Options:\n"
          "  -y, --yes          answer yes to every question\n"
          "  -o, --output PATH  apply: the patched copy; create: the patch; instead\n"
          "                     of the name derived from the inputs\n"
          "  --smallest         create: the smallest patch the format allows\n"
          "  --progress         show progress on stderr even when it is no terminal\n"
          "  --records          info: list every record (position, offset, form, size)\n"
          "  --json             info: the report as one JSON object\n"
          "  -h, --help         show this text\n"
          "  --version          show the version\n"
          "\n"
          "Questions are read from standard input; at its end the answer is no.\n"
          "Exit status: 0 done (info: well formed), 1 failed (info: not well formed),\n"
          "2 wrong usage, 3 a question was answered no.\n",
          stream);
}

static bool UsageError(const char *reason, const char *word)
{
    char shown[SHOWN_PATH_SIZE];
    ShowablePath(word, shown);
    fprintf(stderr, "zorvik: %s%s\nTry 'zorvik --help'.\n", reason, shown);
    return false;
}

// What the options besides those of CliArguments ask for.
struct Requests {
    bool help;
    bool version;
};

// Sets the option that argv[*i] names, taking the word after it as well for
// one that needs a value; false after telling the reason on stderr.
static bool TakeOption(int argc, char **argv, int *i, CliArguments *args, Requests *requests)
{
    const char *word = argv[*i];
    if (strcmp(word, "-y") == 0 || strcmp(word, "--yes") == 0) {
        args->yes = true;
    } else if (strcmp(word, "-o") == 0 || strcmp(word, "--output") == 0) {
        if (args->output != NULL)
            return UsageError("one output only: ", word);
        if (++*i == argc)
            return UsageError(word, " needs a path");
        args->output = argv[*i];
    } else if (strcmp(word, "--smallest") == 0) {
        args->smallest = true;
    } else if (strcmp(word, "--progress") == 0) {
        args->progress = true;
    } else if (strcmp(word, "--records") == 0) {
        args->records = true;
    } else if (strcmp(word, "--json") == 0) {
        args->json = true;
    } else if (strcmp(word, "--help") == 0 || strcmp(word, "-h") == 0) {
        requests->help = true;
    } else if (strcmp(word, "--version") == 0) {
        requests->version = true;
    } else {
        return UsageError("unknown option: ", word);
    }
    return true;
}

// Whether the options given go with the command; false after telling which
// does not.
static bool OptionsFit(const CliArguments *args, const char *command)
{
    if ((args->records || args->json) && args->command != kCommandInfo)
        return UsageError("--records and --json go with info only, not ", command);
    if (args->smallest && args->command != kCommandCreate)
        return UsageError("--smallest goes with create only, not ", command);
    if (args->output != NULL && args->command == kCommandInfo)
        return UsageError("--output goes with apply and create, not ", command);
    return true;
}

bool ParseArguments(int argc, char **argv, CliArguments *args)
{
    *args = CliArguments{kCommandHelp, false, false, false, false, false, NULL, argv + 1, 0};
    Requests requests = {false, false};
    // The words that are no options are gathered at the front of argv, each
    // at or before its own place.
    int count = 0;
    bool onlyPaths = false;
    for (int i = 1; i < argc; ++i) {
        char *word = argv[i];
        if (!onlyPaths && strcmp(word, "--") == 0)
            onlyPaths = true;
        else if (!onlyPaths && word[0] == '-' && word[1] != '\0') {
            if (!TakeOption(argc, argv, &i, args, &requests))
                return false;
        } else
            argv[1 + count++] = word;
    }
    if (requests.help)
        return true;
    if (requests.version) {
        args->command = kCommandVersion;
        return true;
    }
    if (count == 0)
        return UsageError("missing command", "");
    const char *command = argv[1];
    if (strcmp(command, "apply") == 0)
        args->command = kCommandApply;
    else if (strcmp(command, "create") == 0)
        args->command = kCommandCreate;
    else if (strcmp(command, "info") == 0)
        args->command = kCommandInfo;
    else
        return UsageError("unknown command: ", command);
    args->paths = argv + 2;
    args->pathCount = count - 1;
    if (args->command == kCommandApply && args->pathCount < 2)
        return UsageError(command, " needs a patch and a file");
    if (args->command == kCommandCreate && args->pathCount != 2)
        return UsageError(command, " needs two paths");
    if (args->command == kCommandInfo && args->pathCount != 1)
        return UsageError(command, " needs one path");
    if (!OptionsFit(args, command))
        return false;
    for (int i = -1; i < args->pathCount; ++i) {
        const char *path = i < 0 ? args->output : args->paths[i];
        if (path != NULL && strlen(path) >= PATH_BUFFER_SIZE)
            return UsageError("path longer than 259 bytes: ", path);
    }
    return true;
}
