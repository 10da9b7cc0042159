// libFuzzer target: arbitrary bytes as the patch for ApplyPatch against a
// small target. Besides crashes, leaks and sanitizer reports, each of these is
// a finding: a result or target other than the format's rules give, a progress
// value above 100 or more notifications than the throttle lets through, a text
// not terminated within its buffer, a changed patch, or any other file beside
// the patch and the target.
#include "engine/apply.h"
#include "notify/notifications.h"
#include "../engine/apply_model.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

typedef std::vector<unsigned char> Bytes;

static int notifications;

static void Finding(const char *what)
{
    fprintf(stderr, "apply_fuzz: %s\n", what);
    abort();
}

static LRESULT CALLBACK CheckProgress(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_JOB_PROGRESS)
        return DefWindowProcA(window, message, wParam, lParam);
    ++notifications;
    if (wParam > 100)
        Finding("progress above 100");
    if (lParam == 0)
        Finding("progress without a status text");
    return 0;
}

// A window of this thread: a send from here runs CheckProgress directly.
static HWND MakeWindow()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CheckProgress;
    windowClass.lpszClassName = "ZorvikApplyFuzz";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
}

static void WriteAll(const fs::path &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write((const char *)bytes.data(), (std::streamsize)bytes.size());
    if (!out)
        Finding("cannot write the test files");
}

static Bytes ReadAll(const fs::path &path)
{
    std::error_code error;
    Bytes bytes(fs::file_size(path, error));
    std::ifstream in(path, std::ios::binary);
    in.read((char *)bytes.data(), (std::streamsize)bytes.size());
    if (error || !in)
        Finding("cannot read the test files");
    return bytes;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string pattern = (fs::temp_directory_path() / "zorvik-fuzz-XXXXXX").string();
    if (mkdtemp(&pattern[0]) == NULL)
        Finding("cannot make a directory");
    const fs::path dir = pattern;
    static const HWND window = MakeWindow();
    const fs::path patchPath = dir / "patch.ips";
    const fs::path targetPath = dir / "target.bin";
    const Bytes patch(data, data + size);
    Bytes target(64);
    for (size_t i = 0; i < target.size(); ++i)
        target[i] = (unsigned char)(i * 7 + 1);
    WriteAll(patchPath, patch);
    WriteAll(targetPath, target);

    char text[ENGINE_TEXT_SIZE + 1];
    memset(text, 0xCC, sizeof text);
    notifications = 0;
    BOOL result = ApplyPatch(targetPath.c_str(), patchPath.c_str(), text, ENGINE_TEXT_SIZE, window, WM_JOB_PROGRESS);

    if (memchr(text, 0, ENGINE_TEXT_SIZE) == NULL || (unsigned char)text[ENGINE_TEXT_SIZE] != 0xCC)
        Finding("text not terminated within its buffer");
    if (notifications > 22)
        Finding("more notifications than the throttle lets through");
    if (ReadAll(patchPath) != patch)
        Finding("the patch changed");
    int files = 0;
    for (const auto &entry : fs::directory_iterator(dir))
        files += entry.path() == patchPath || entry.path() == targetPath ? 1 : 1000;
    if (files != 2)
        Finding("a file other than the target appeared or disappeared");
    ModelResult model = ApplyModel(target, patch, 1u << 16);
    if (result != (model.applies ? 1 : 0))
        Finding("result differs from the format's rules");
    if (model.fits && ReadAll(targetPath) != model.target)
        Finding("target differs from the format's rules");
    fs::remove_all(dir);
    return 0;
}
