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

static uint32_t BigEndianAt(const Bytes &bytes, size_t at, int count)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[at + i];
    return value;
}

static void WriteAt(Bytes &target, size_t offset, const unsigned char *bytes, size_t size)
{
    if (target.size() < offset + size)
        target.resize(offset + size, 0);
    std::copy(bytes, bytes + size, target.begin() + (long)offset);
}

Bytes ApplyModel(Bytes target, const Bytes &patch)
{
    size_t at = 5;
    while (at + 4 <= patch.size() && BigEndianAt(patch, at, 4) != 0x45454F46u) {
        size_t offset = BigEndianAt(patch, at, 4);
        if (at + 6 > patch.size())
            break;
        size_t size = BigEndianAt(patch, at + 4, 2);
        if (size != 0) {
            if (at + 6 + size > patch.size())
                break;
            WriteAt(target, offset, &patch[at + 6], size);
            at += 6 + size;
        } else {
            if (at + 9 > patch.size())
                break;
            Bytes run(BigEndianAt(patch, at + 6, 2), patch[at + 8]);
            if (!run.empty())
                WriteAt(target, offset, run.data(), run.size());
            at += 9;
        }
    }
    return target;
}
