// The command line of the zorvik tool.
#ifndef ZORVIK_CLI_ARGUMENTS_H
#define ZORVIK_CLI_ARGUMENTS_H

#include <stdio.h>

enum CliCommand { kCommandApply, kCommandCreate, kCommandInfo, kCommandHelp, kCommandVersion };

struct CliArguments {
    CliCommand command;
    bool yes;             // -y, --yes: every question is answered yes
    bool progress;        // --progress: progress lines even when stderr is no terminal
    bool records;         // info --records: every record listed
    bool json;            // info --json: the report as JSON
    bool smallest;        // create --smallest: the smallest patch
    const char *output;   // -o, --output: the output's path (apply, create), or null
    char **paths;         // the command's paths, in order: apply: the patches, then
                          // the file to patch; create: original, modified; info: the patch
    int pathCount;
};

// Reads argv into args; args->paths points into argv, whose words it
// reorders. Options may stand anywhere; after "--" every word is a path.
// Returns false after telling the reason on stderr: an unknown option or
// command, an option the command does not take, a wrong number of paths, or
// a path longer than a path buffer holds (paths are never cut).
bool ParseArguments(int argc, char **argv, CliArguments *args);

// Prints the --help text on stream.
void PrintUsage(FILE *stream);

#endif
