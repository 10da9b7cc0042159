// zorvik: applies and creates IPS32 patches from the command line, with the
// same jobs as the dialog program.
#include "cli/arguments.h"
#include "cli/exit_status.h"
#include "cli/job_window.h"
#include "jobs/apply_job.h"
#include "jobs/create_job.h"
#include "platform/output.h"
#include "version.h"

#include <stdio.h>

// The whole run but for the end of its output; returns its exit status.
static int Run(int argc, char **argv)
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
    // Stopped (Ctrl+C, kill, a closed terminal), the tool leaves no half-written output.
    RemoveOutputOnStop();
    JobRequest request = {};
    lstrcpynA(request.firstPath, args.first, PATH_BUFFER_SIZE);
    lstrcpynA(request.secondPath, args.second, PATH_BUFFER_SIZE);
    return RunJob(args.command == kCommandApply ? ApplyJob : CreateJob, &request, args.yes,
                  ChooseProgressStyle(args.progress));
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
    return EndStandardOutput(Run(argc, argv));
}
