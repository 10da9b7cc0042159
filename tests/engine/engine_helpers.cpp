#include "engine_helpers.h"

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

EngineOutcome CreateBytes(const TempDir &dir, const Bytes &original, const Bytes &modified, HWND window,
                          const CreateTuning &tuning, PatchCreator create)
{
    const std::string originalPath = dir / "original.bin", modifiedPath = dir / "modified.bin",
                      patchPath = dir / "modified.ips";
    WriteFileBytes(originalPath, original);
    WriteFileBytes(modifiedPath, modified);
    const char *o = originalPath.c_str(), *m = modifiedPath.c_str(), *p = patchPath.c_str();
    char text[ENGINE_TEXT_SIZE] = "";
    BOOL result = create != NULL ? create(o, m, p, text, sizeof text, window, WM_JOB_PROGRESS, NULL)
                                 : CreatePatchWith(tuning, o, m, p, text, sizeof text, window, WM_JOB_PROGRESS, NULL);
    return {result, text, PathExists(patchPath) ? ReadFileBytes(patchPath) : Bytes()};
}
