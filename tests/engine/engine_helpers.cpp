#include "engine_helpers.h"

#include "engine/create.h"
#include "jobs/notifications.h"

std::string Expected(const std::string &format, const std::string &path)
{
    std::string text = format;
    size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, path);
    return text;
}

EngineOutcome ApplyBytes(const TempDir &dir, const Bytes &target, const Bytes &patch, HWND window)
{
    std::string targetPath = dir / "target.bin";
    std::string patchPath = dir / "patch.ips";
    WriteFileBytes(targetPath, target);
    WriteFileBytes(patchPath, patch);
    char text[ENGINE_TEXT_SIZE] = "";
    EngineOutcome outcome;
    outcome.result = ApplyPatch(targetPath.c_str(), patchPath.c_str(), text, sizeof text, window, WM_JOB_PROGRESS);
    outcome.text = text;
    outcome.output = ReadFileBytes(targetPath);
    return outcome;
}

EngineOutcome CreateBytes(const TempDir &dir, const Bytes &original, const Bytes &modified, HWND window)
{
    std::string originalPath = dir / "original.bin";
    std::string modifiedPath = dir / "modified.bin";
    std::string patchPath = dir / "modified.ips";
    WriteFileBytes(originalPath, original);
    WriteFileBytes(modifiedPath, modified);
    char text[ENGINE_TEXT_SIZE] = "";
    EngineOutcome outcome;
    outcome.result = CreatePatch(originalPath.c_str(), modifiedPath.c_str(), patchPath.c_str(), text, sizeof text,
                                 window, WM_JOB_PROGRESS, NULL);
    outcome.text = text;
    if (PathExists(patchPath))
        outcome.output = ReadFileBytes(patchPath);
    return outcome;
}
