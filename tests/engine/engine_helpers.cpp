#include "engine_helpers.h"

#include <functional>

#include "notify/notifications.h"

#include <gtest/gtest.h>

#include <tuple>

std::string Expected(const std::string &format, const std::string &path)
{
    std::string text = format;
    size_t at = text.find("%s");
    return at == std::string::npos ? text : text.replace(at, 2, path);
}

Bytes DataOf(const Bytes &bytes, uint32_t from, uint32_t to)
{
    return DataRecord(from, Bytes(bytes.begin() + from, bytes.begin() + to));
}

Bytes Data(uint32_t offset, const std::string &text)
{
    return DataRecord(offset, ToBytes(text));
}

bool operator==(const EngineOutcome &a, const EngineOutcome &b)
{
    return std::tie(a.result, a.text, a.output) == std::tie(b.result, b.text, b.output);
}

void PrintTo(const EngineOutcome &outcome, std::ostream *out)
{
    *out << outcome.result << " \"" << outcome.text << "\" " << outcome.output.size() << " bytes "
         << ::testing::PrintToString(outcome.output);
}

EngineOutcome ApplyBytes(const TempDir &dir, const Bytes &target, const Bytes &patch, HWND window, bool withText)
{
    const std::string targetPath = dir / "target.bin", patchPath = dir / "patch.ips";
    WriteFileBytes(targetPath, target);
    WriteFileBytes(patchPath, patch);
    char text[ENGINE_TEXT_SIZE] = "";
    BOOL result = ApplyPatch(targetPath.c_str(), patchPath.c_str(), withText ? text : NULL, sizeof text, window,
                             WM_JOB_PROGRESS);
    return {result, text, ReadFileBytes(targetPath)};
}

// Writes both files into dir, runs create on them and reads the patch back.
static EngineOutcome CreateWithFiles(const TempDir &dir, const Bytes &original, const Bytes &modified,
                                     const std::function<BOOL(const char *, const char *, const char *, char *)> &create)
{
    const std::string originalPath = dir / "original.bin", modifiedPath = dir / "modified.bin";
    WriteFileBytes(originalPath, original);
    WriteFileBytes(modifiedPath, modified);
    char text[ENGINE_TEXT_SIZE] = "";
    BOOL result = create(originalPath.c_str(), modifiedPath.c_str(), (dir / "modified.ips").c_str(), text);
    return {result, text, PathExists(dir / "modified.ips") ? ReadFileBytes(dir / "modified.ips") : Bytes()};
}

EngineOutcome CreateBytes(const TempDir &dir, const Bytes &original, const Bytes &modified, HWND window,
                          const CreateTuning &tuning)
{
    return CreateWithFiles(dir, original, modified, [&](const char *o, const char *m, const char *p, char *text) {
        return CreatePatchWith(tuning, o, m, p, text, ENGINE_TEXT_SIZE, window, WM_JOB_PROGRESS, NULL);
    });
}

EngineOutcome CreateBytes(const TempDir &dir, const Bytes &original, const Bytes &modified, HWND window,
                          PatchCreator create)
{
    return CreateWithFiles(dir, original, modified, [&](const char *o, const char *m, const char *p, char *text) {
        return create(o, m, p, text, ENGINE_TEXT_SIZE, window, WM_JOB_PROGRESS, NULL);
    });
}
