// Runs a job against a recording window in a test directory.
#ifndef ZORVIK_TESTS_JOBS_JOB_FIXTURE_H
#define ZORVIK_TESTS_JOBS_JOB_FIXTURE_H

#include "notify/notifications.h"
#include "platform/path_rules.h"
#include "bytes.h"
#include "recording_window.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

typedef std::vector<std::string> Lines;
// Entries by name: kDirectory, or contents with kReadOnly or (in a setup) kHardLink NAME.
typedef std::map<std::string, std::string> Files;
static const char kDirectory[] = "<dir>";
static const char kReadOnly[] = "ro:";
static const char kHardLink[] = "ln:";
// Both jobs' patch: "XY" at offset 1, which makes "abcd" "aXYd".
static const Bytes kPatchBytes = BuildPatch({DataRecord(1, ToBytes("XY"))});
static const std::string kPatch(kPatchBytes.begin(), kPatchBytes.end());

// "started", "ask <answer>: <text>", "progress" (once a run), "finished <wParam>[: <text>]".
inline Lines Seen(const RecordingWindow &window)
{
    // WM_JOB_STARTED to WM_JOB_ASK, in the order of their numbers.
    static const char *const kNames[] = {"started", "finished", "progress", "ask"};
    Lines lines;
    for (const Notification &seen : window.notifications()) {
        UINT index = seen.message - WM_JOB_STARTED;
        std::string line = index < 4 ? kNames[index] : seen.Describe();
        if (seen.message == WM_JOB_ASK || seen.message == WM_JOB_FINISHED)
            line += " " + std::to_string(seen.wParam) + (seen.hasText ? ": " + seen.text : "");
        if (line != "progress" || lines.empty() || lines.back() != line)
            lines.push_back(line);
    }
    return lines;
}

// One way a job can end: entries made, paths, output, answers, what the window sees after
// "started" ("confirm N", "overwrite N"; "<name>" is the entry's path), exit code, changes.
struct JobEnd {
    const char *name;
    Files setup;
    std::string first, second, output;
    std::vector<int> answers;
    Lines seen;
    DWORD exitCode = 0;
    Files changes = {};
    bool windowGone = false;  // closed before the job runs, so that nothing is seen
};
inline void PrintTo(const JobEnd &end, std::ostream *os) { *os << end.name; }
inline std::string RowName(const ::testing::TestParamInfo<JobEnd> &row) { return row.param.name; }

class JobTest : public TempDirTest, public ::testing::WithParamInterface<JobEnd> {
protected:
    // The path of the entry name; "N:tail" names the one whose path is N bytes long and ends with tail.
    std::string Path(const std::string &name) const
    {
        size_t colon = name.find(':');
        std::string tail = name.substr(colon + 1);
        return colon == std::string::npos ? dir / name
                                          : dir / (std::string(std::stoul(name) - (dir / tail).size(), 'n') + tail);
    }
    void Make(const Files &files)
    {
        for (const auto &[name, contents] : files) {
            bool readOnly = contents.rfind(kReadOnly, 0) == 0;
            if (contents == kDirectory)
                std::filesystem::create_directory(FsPath(Path(name)));
            else if (contents.rfind(kHardLink, 0) == 0)
                std::filesystem::create_hard_link(FsPath(Path(contents.substr(sizeof kHardLink - 1))),
                                                  FsPath(Path(name)));
            else
                WriteFileBytes(Path(name), ToBytes(contents.substr(readOnly ? sizeof kReadOnly - 1 : 0)));
            EXPECT_TRUE(!readOnly || SetFileAttributesA(Path(name).c_str(), FILE_ATTRIBUTE_READONLY)) << name;
        }
    }
    Files Snapshot() const
    {
        Files files;
        for (const auto &entry : std::filesystem::directory_iterator(FsPath(dir.path()))) {
            std::string path = NarrowPath(entry.path());
            Bytes bytes = entry.is_directory() ? ToBytes(kDirectory) : ReadFileBytes(path);
            bool readOnly = (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY) != 0;
            files[NarrowPath(entry.path().filename())] =
                (readOnly ? kReadOnly : "") + std::string(bytes.begin(), bytes.end());
        }
        return files;
    }
    // Runs job as the row says; confirmation is its first question, with "<name>" for paths.
    void Check(LPTHREAD_START_ROUTINE job, const Files &inputs, const std::string &confirmation)
    {
        const JobEnd &end = GetParam();
        Make(inputs);
        Make(end.setup);
        Files files = Snapshot();
        for (const auto &[name, contents] : end.changes)
            files[Path(name).substr(dir.path().size() + 1)] = contents;
        Lines expected = end.windowGone ? Lines{} : Lines{"started"};
        for (std::string line : end.seen) {
            std::string ask = "ask " + line.substr(line.find(' ') + 1) + ": ";
            if (line.rfind("confirm", 0) == 0)
                line = ask + confirmation;
            if (line.rfind("overwrite", 0) == 0)
                line = ask + "<" + end.output + "> は、すでに存在しています。\n上書きしてもよろしいですか？";
            for (size_t open; (open = line.find('<')) != std::string::npos;) {
                size_t close = line.find('>', open);
                line.replace(open, close + 1 - open, Path(line.substr(open + 1, close - open - 1)));
            }
            expected.push_back(line);
        }
        RecordingWindow window(end.answers);
        if (end.windowGone)
            window.Close();
        JobRequest request = {};
        lstrcpynA(request.firstPath, Path(end.first).c_str(), PATH_BUFFER_SIZE);
        lstrcpynA(request.secondPath, Path(end.second).c_str(), PATH_BUFFER_SIZE);
        request.window = window.handle();
        EXPECT_EQ(end.exitCode, job(&request));
        EXPECT_EQ(expected, Seen(window));
        EXPECT_EQ(files, Snapshot());
    }
};

#endif
