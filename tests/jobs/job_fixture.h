// Runs a job on the test thread against a recording window and tells what the
// window saw, one readable line per notification.
#ifndef ZORVIK_TESTS_JOBS_JOB_FIXTURE_H
#define ZORVIK_TESTS_JOBS_JOB_FIXTURE_H

#include "jobs/notifications.h"
#include "bytes.h"
#include "recording_window.h"
#include "temp_dir.h"

#include <string>
#include <vector>

// The job texts, as the window must receive them.
extern const char kFileMissing[];
extern const char kSameNames[];
extern const char kAskOverwrite[];

// format with each "%s" replaced by the next of the paths.
std::string Text(const char *format, const std::string &first = "", const std::string &second = "",
                 const std::string &third = "");

// "started", "ask <answer given>: <text>", "progress <percent>: <text or null>",
// "finished <wParam>: <text>" or "finished <wParam>" for a null text. With
// collapseProgress, each run of progress notifications becomes one "progress".
std::vector<std::string> Seen(const RecordingWindow &window, bool collapseProgress = true);

class JobTest : public TempDirTest {
protected:
    // Runs job on this thread with the two paths and the window; returns its
    // exit code.
    DWORD Run(LPTHREAD_START_ROUTINE job, const std::string &first, const std::string &second,
              const RecordingWindow &window);
    // A file in the test directory holding text.
    std::string File(const std::string &name, const std::string &text);
    std::string File(const std::string &name, const Bytes &bytes);
    // A path in the test directory of exactly length bytes, ending with tail.
    std::string PathOfLength(size_t length, const std::string &tail);
    std::string ReadOnlyFile(const std::string &name, const std::string &text);
    // The names in the test directory, sorted.
    std::vector<std::string> Listing();
};

#endif
