// zorvik: applies and creates IPS32 patches from the command line, with the
// same jobs as the dialog program, and tells what a patch holds.
#include "cli/arguments.h"
#include "cli/exit_status.h"
#include "cli/info.h"
#include "cli/job_window.h"
#include "jobs/apply_job.h"
#include "jobs/create_job.h"
#include "platform/language.h"
#include "platform/output.h"
#include "version.h"

#include <stdio.h>

// The whole run but for the end of its output; returns its exit status.
static int Run(int argc, char **argv)
{
    CliArguments args;
    if (!ParseArguments(argc, argv, &args))
        return kExitUsage;
    const ProgressStyle progress = ChooseProgressStyle(args.progress);
    // Stopped (Ctrl+C, kill, a closed terminal), the tool leaves no temporary output.
    RemoveOutputOnStop();
    switch (args.command) {
    case kCommandHelp:
        PrintUsage(stdout);
        return kExitSuccess;
    case kCommandVersion:
        printf(ZORVIK_VERSION_FORMAT "\n", ZORVIK_VERSION_MAJOR, ZORVIK_VERSION_MINOR);
        return kExitSuccess;
    case kCommandInfo:
        return RunInfo(args.paths[0], args.records, args.json);
    case kCommandCreate: {
        CreateOrder order = {args.paths[0], args.paths[1], args.output, args.smallest, NULL, NULL};
        return RunJob(CreateOrderJob, &order, &order.window, &order.systemError, args.yes, progress);
    }
    case kCommandApply: {
        ApplyOrder order = {args.paths, args.pathCount - 1, args.paths[args.pathCount - 1], args.output, TRUE, NULL,
                            NULL};
        return RunJob(ApplyOrderJob, &order, &order.window, &order.systemError, args.yes, progress);
    }
    }
    return kExitUsage;
}

// status, unless something written to standard output or standard error was
// lost (a full disk, a device that takes nothing): then the run has failed,
// whatever it did.
static int EndStandardOutput(int status)
{
    bool outputLost = ferror(stdout) != 0;
    outputLost = fclose(stdout) != 0 || outputLost;
    if (outputLost)
        fputs("zorvik: cannot write to standard output\n", stderr);
    bool errorsLost = ferror(stderr) != 0 || fflush(stderr) != 0;
    return outputLost || errorsLost ? kExitFailure : status;
}

int main(int argc, char **argv)
{
    UseUserLanguage();
    return EndStandardOutput(Run(argc, argv));
}
