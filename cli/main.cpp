// zorvik: applies and creates IPS32 patches from the command line, with the
// same jobs as the dialog program, and tells what a patch holds.
#include "cli/arguments.h"
#include "cli/exit_status.h"
#include "cli/info.h"
#include "cli/job_window.h"
#include "jobs/apply_job.h"
#include "jobs/create_job.h"
#include "version.h"

#include <stdio.h>

int main(int argc, char **argv)
{
    CliArguments args;
    if (!ParseArguments(argc, argv, &args))
        return kExitUsage;
    const ProgressStyle progress = ChooseProgressStyle(args.progress);
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
        CreateOrder order = {args.paths[0], args.paths[1], args.output, args.smallest, NULL};
        return RunJob(CreateOrderJob, &order, &order.window, args.yes, progress);
    }
    case kCommandApply: {
        ApplyOrder order = {args.paths, args.pathCount - 1, args.paths[args.pathCount - 1], args.output, TRUE, NULL};
        return RunJob(ApplyOrderJob, &order, &order.window, args.yes, progress);
    }
    }
    return kExitUsage;
}
