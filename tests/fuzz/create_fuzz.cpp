// libFuzzer target for creation: a pair (see Pair), a read size and a stand-in terminator
// offset. A finding: a failed call, a patch that does not apply back, a record at the
// stand-in offset or of no bytes, bytes after the terminator, a patch that depends on the
// read size or marking, bad progress or text; a smallest patch larger than the model's.
#include "engine/engine.h"
#include "engine/create.h"
#include "engine/ips32.h"
#include "engine/smallest.h"
#include "notify/notifications.h"
#include "../engine/apply_model.h"
#include "../engine/smallest_model.h"
#include "fuzz_support.h"

#include <stdint.h>

#include <algorithm>

namespace fs = std::filesystem;

// The fuzz bytes, taken a number at a time; zeros once they are used up.
struct Source {
    const uint8_t *data;
    size_t size, at;
    bool Empty() const { return at >= size; }
    // The next count bytes (at most 4) as a little-endian number.
    uint32_t Take(int count)
    {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++at)
            value |= (uint32_t)(at < size ? data[at] : 0) << (8 * i);
        return value;
    }
};

// An original of a repeated pattern; the modified file adds a tail and overwrites stretches.
static void Pair(Source &source, Bytes &original, Bytes &modified)
{
    Bytes pattern(source.Take(1) % 16 + 1);
    for (unsigned char &byte : pattern)
        byte = (unsigned char)source.Take(1);
    original.resize(source.Take(3) % 150000);
    for (size_t k = 0; k < original.size(); ++k)
        original[k] = pattern[k % pattern.size()];
    modified = original;
    modified.resize(original.size() + source.Take(3) % 70000, (unsigned char)source.Take(1));
    while (!source.Empty() && !modified.empty()) {
        size_t at = source.Take(3) % modified.size();
        size_t end = at + source.Take(3) % 140000;
        unsigned mode = source.Take(1);
        for (size_t k = at; k < end && k < modified.size(); ++k)
            modified[k] = mode % 2 ? (unsigned char)mode : (unsigned char)(pattern[(k + mode) % pattern.size()] ^ 1);
    }
}

// The patch at path is well formed, ends with its terminator, and has no record at
// terminatorOffset or of no bytes.
static void CheckRecords(const fs::path &path, uint32_t terminatorOffset)
{
    PatchRecordVisitor check = [](const PatchRecordInfo &record, void *offset) {
        if (record.offset == *(uint32_t *)offset)
            Finding("a record begins at the terminator's offset");
        if (record.length == 0)
            Finding("a record of no bytes");
    };
    PatchSummary summary;
    if (!InspectPatch(path.c_str(), &summary, check, &terminatorOffset) || summary.trailing != 0)
        Finding("the patch is not well formed, or goes on after its terminator");
}

// Creates dir/patch.ips with tuning; returns the patch.
static Bytes Create(const fs::path &dir, const CreateTuning &tuning)
{
    TextBuffer buffer;
    const fs::path patchPath = dir / "patch.ips";
    if (!CreatePatchWith(tuning, (dir / "original.bin").c_str(), (dir / "modified.bin").c_str(), patchPath.c_str(),
                         buffer.text, ENGINE_TEXT_SIZE, ProgressWindow(), WM_JOB_PROGRESS, NULL))
        Finding("creation failed");
    CheckTextAndProgress(buffer);
    return ReadFileBytes(patchPath);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Source source = {data, size, 0};
    CreateTuning tuning = {source.Take(2) + 1, source.Take(3) % 250000 + 1, true};
    Bytes original, modified;
    Pair(source, original, modified);
    // At most a thousand reads or so, so that each input takes milliseconds.
    if (tuning.readSize < modified.size() / 1024)
        tuning.readSize = (DWORD)(modified.size() / 1024);
    const fs::path dir = MakeScratchDir();
    WriteFileBytes(dir / "original.bin", original);
    WriteFileBytes(dir / "modified.bin", modified);

    const Bytes patch = Create(dir, tuning);
    CheckRecords(dir / "patch.ips", tuning.terminatorOffset);
    if (Create(dir, {kCreateTuning.readSize, tuning.terminatorOffset, false, false}) != patch)
        Finding("the patch depends on the read size, the marking or the mapping");
    const fs::path copy = dir / "copy.bin";
    WriteFileBytes(copy, original);
    char text[ENGINE_TEXT_SIZE];
    if (!ApplyPatch(copy.c_str(), (dir / "patch.ips").c_str(), text, sizeof text, NULL, 0))
        Finding("the patch does not apply");
    if (ReadFileBytes(copy) != modified)
        Finding("the patched copy differs from the modified file");
    if (!modified.empty()) {
        const Bytes smallest = SmallestPatchOf(dir / "smallest.ips", original, modified, SMALLEST_WINDOW,
                                               tuning.readSize, IPS32_TERMINATOR_OFFSET);
        CheckRecords(dir / "smallest.ips", IPS32_TERMINATOR_OFFSET);
        if (smallest.size() != SmallestByModel(original, modified))
            Finding("the smallest patch is not the size the model finds");
        if (SmallestPatchOf(dir / "whole.ips", original, modified, SMALLEST_WINDOW, modified.size(),
                            IPS32_TERMINATOR_OFFSET, true) != smallest)
            Finding("the smallest patch depends on the piece size or on what was found ahead");
        if (ApplyModel(original, smallest).target != modified)
            Finding("the smallest patch does not make the modified file");
    }
    fs::remove_all(dir);
    return 0;
}
