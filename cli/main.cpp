// zorvik: applies and creates IPS32 patches from the command line, with the
// same jobs as the dialog program.
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
    if (args.command == kCommandHelp) {
        PrintUsage(stdout);
        return kExitSuccess;
    }
    if (args.command == kCommandVersion) {
        printf(ZORVIK_VERSION_FORMAT "\n", ZORVIK_VERSION_MAJOR, ZORVIK_VERSION_MINOR);
        return kExitSuccess;
    }
    if (args.command == kCommandInfo)
        return RunInfo(args.first, args.records, args.json);
    JobRequest request = {};
    lstrcpynA(request.firstPath, args.first, PATH_BUFFER_SIZE);
    lstrcpynA(request.secondPath, args.second, PATH_BUFFER_SIZE);
    return RunJob(args.command == kCommandApply ? ApplyJob : CreateJob, &request, args.yes,
                  ChooseProgressStyle(args.progress));
}
