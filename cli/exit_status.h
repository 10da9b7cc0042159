// The exit statuses of the zorvik tool.
#ifndef ZORVIK_CLI_EXIT_STATUS_H
#define ZORVIK_CLI_EXIT_STATUS_H

enum ExitStatus {
    kExitSuccess = 0,
    kExitFailure = 1,
    kExitUsage = 2,
    kExitDeclined = 3,  // a question was answered no
};

#endif
