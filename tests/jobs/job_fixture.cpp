#include "job_fixture.h"

#include <algorithm>
#include <filesystem>

const char kFileMissing[] = "%s は、存在しません。";
const char kSameNames[] = "2つのﾌｧｲﾙ名が同一になっています。";
const char kAskOverwrite[] = "%s は、すでに存在しています。\n上書きしてもよろしいですか？";

std::string Text(const char *format, const std::string &first, const std::string &second,
                 const std::string &third)
{
    const std::string *paths[] = {&first, &second, &third};
    std::string text = format;
    size_t at = 0;
    for (const std::string *path : paths) {
        at = text.find("%s", at);
        if (at == std::string::npos)
            break;
        text.replace(at, 2, *path);
        at += path->size();
    }
    return text;
}

static std::string Line(const Notification &seen)
{
    std::string number = std::to_string(seen.wParam);
    std::string text = seen.hasText ? ": " + seen.text : "";
    switch (seen.message) {
    case WM_JOB_STARTED:
        return "started";
    case WM_JOB_ASK:
        return "ask " + number + text;
    case WM_JOB_PROGRESS:
        return "progress " + number + (seen.hasText ? text : ": null");
    case WM_JOB_FINISHED:
        return "finished " + number + text;
    }
    return "message " + std::to_string(seen.message);
}

std::vector<std::string> Seen(const RecordingWindow &window, bool collapseProgress)
{
    std::vector<std::string> lines;
    for (const Notification &seen : window.notifications()) {
        if (collapseProgress && seen.message == WM_JOB_PROGRESS) {
            if (lines.empty() || lines.back() != "progress")
                lines.push_back("progress");
            continue;
        }
        lines.push_back(Line(seen));
    }
    return lines;
}

DWORD JobTest::Run(LPTHREAD_START_ROUTINE job, const std::string &first, const std::string &second,
                   const RecordingWindow &window)
{
    JobRequest request = {};
    lstrcpynA(request.firstPath, first.c_str(), PATH_BUFFER_SIZE);
    lstrcpynA(request.secondPath, second.c_str(), PATH_BUFFER_SIZE);
    request.window = window.handle();
    return job(&request);
}

std::string JobTest::File(const std::string &name, const std::string &text)
{
    return File(name, ToBytes(text));
}

std::string JobTest::File(const std::string &name, const Bytes &bytes)
{
    std::string path = dir / name;
    WriteFileBytes(path, bytes);
    return path;
}

std::string JobTest::PathOfLength(size_t length, const std::string &tail)
{
    size_t fixed = (dir / tail).size();
    EXPECT_LE(fixed, length);
    return dir / (std::string(length - fixed, 'n') + tail);
}

std::string JobTest::ReadOnlyFile(const std::string &name, const std::string &text)
{
    std::string path = File(name, text);
    EXPECT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    return path;
}

std::vector<std::string> JobTest::Listing()
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
