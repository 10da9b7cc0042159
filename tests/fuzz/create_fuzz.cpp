// libFuzzer target for creation: the bytes describe an original file and the
// changes that make the modified one (see Pair), a read size and a stand-in
// for the offset no record may begin at. CreatePatchWith makes the patch, and
// ApplyPatch applies it to a copy of the original. Besides crashes, leaks and
// sanitizer reports, each of these is a finding: a failed call, a copy that
// differs from the modified file, a record at the stand-in offset or of no
// bytes, anything after the terminator, a patch that differs from the one
// made with the usual read size, bad progress, or a text not terminated
// within its buffer. The smallest writer gets the same files in pieces of the
// read size; its patch must apply back and be exactly as small as the plain
// walk of the model finds.
#include "engine/engine.h"
#include "engine/create.h"
#include "engine/ips32.h"
#include "engine/smallest.h"
#include "notify/notifications.h"
#include "../engine/apply_model.h"
#include "../engine/smallest_model.h"
#include "fuzz_support.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>

namespace fs = std::filesystem;

// The fuzz bytes, taken a number at a time; zeros once they are used up.
class Source {
public:
    Source(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    // The next count bytes (at most 4) as a little-endian number.
    uint32_t Take(int count)
    {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++at_)
            value |= (uint32_t)(at_ < size_ ? data_[at_] : 0) << (8 * i);
        return value;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

// An original of a repeated pattern, and a modified file that is the original
// with a tail and then stretches overwritten by one value or by the pattern
// shifted: stretches and files long enough for several records and reads.
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

// Checks the patch's layout: records up to the terminator, which ends the
// file; none begins at terminatorOffset, and none writes nothing.
static void CheckRecords(const Bytes &patch, uint32_t terminatorOffset)
{
    size_t at = IPS32_MAGIC_SIZE;
    while (at + 4 <= patch.size() && memcmp(&patch[at], IPS32_TERMINATOR, IPS32_TERMINATOR_SIZE) != 0) {
        if (at + 9 > patch.size())
            Finding("a record cut short");
        uint32_t offset = (uint32_t)patch[at] << 24 | patch[at + 1] << 16 | patch[at + 2] << 8 | patch[at + 3];
        unsigned size = patch[at + 4] << 8 | patch[at + 5];
        if (offset == terminatorOffset)
            Finding("a record begins at the terminator's offset");
        if (size == 0 && (patch[at + 6] << 8 | patch[at + 7]) == 0)
            Finding("a run of no bytes");
        at += size != 0 ? 6 + size : 9;
    }
    if (at + IPS32_TERMINATOR_SIZE != patch.size())
        Finding("the patch does not end with its terminator");
}

// Creates dir/patch.ips with tuning; returns the patch.
static Bytes Create(const fs::path &dir, const CreateTuning &tuning)
{
    char text[ENGINE_TEXT_SIZE + 1];
    memset(text, 0xCC, sizeof text);
    const fs::path patchPath = dir / "patch.ips";
    if (!CreatePatchWith(tuning, (dir / "original.bin").c_str(), (dir / "modified.bin").c_str(), patchPath.c_str(),
                         text, ENGINE_TEXT_SIZE, ProgressWindow(), WM_JOB_PROGRESS, NULL))
        Finding("creation failed");
    if (!TextFits(text, ENGINE_TEXT_SIZE))
        Finding("text not terminated within its buffer");
    CheckNotificationCount();
    return ReadAll(patchPath);
}

// The smallest patch of the pair, handed over in pieces of piece bytes, with
// the header and terminator around its records.
static Bytes CreateSmallest(const fs::path &dir, const Bytes &original, const Bytes &modified, size_t piece)
{
    const fs::path path = dir / "smallest.ips";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    PatchOutput output;
    if (!StartPatchOutput(&output, file, IPS32_TERMINATOR_OFFSET))
        Finding("no patch output");
    SmallestPatch *smallest = StartSmallestPatch(&output, SMALLEST_WINDOW);
    BOOL written = smallest != NULL;
    for (size_t at = 0; written && at < modified.size();) {
        size_t count = std::min(piece, modified.size() - at);
        if (at < original.size())
            count = std::min(count, original.size() - at);
        written = at < original.size() ? AddSmallestBytes(smallest, &original[at], &modified[at], (DWORD)count)
                                       : AddSmallestTail(smallest, &modified[at], (DWORD)count);
        at += count;
    }
    written = written && EndSmallestPatch(smallest) && AppendTerminator(&output) && FlushPatchOutput(&output);
    FreeSmallestPatch(smallest);
    EndPatchOutput(&output);
    if (!CloseHandle(file) || !written)
        Finding("the smallest writer failed");
    return ReadAll(path);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Source source(data, size);
    CreateTuning tuning = {source.Take(2) + 1, source.Take(3) % 250000 + 1};
    Bytes original, modified;
    Pair(source, original, modified);
    // At most a thousand reads or so, so that each input takes milliseconds.
    if (tuning.readSize < modified.size() / 1024)
        tuning.readSize = (DWORD)(modified.size() / 1024);
    const fs::path dir = MakeScratchDir();
    WriteAll(dir / "original.bin", original);
    WriteAll(dir / "modified.bin", modified);

    const Bytes patch = Create(dir, tuning);
    CheckRecords(patch, tuning.terminatorOffset);
    if (Create(dir, {kCreateTuning.readSize, tuning.terminatorOffset}) != patch)
        Finding("the patch depends on the read size");
    const fs::path copy = dir / "copy.bin";
    WriteAll(copy, original);
    char text[ENGINE_TEXT_SIZE];
    if (!ApplyPatch(copy.c_str(), (dir / "patch.ips").c_str(), text, sizeof text, NULL, 0))
        Finding("the patch does not apply");
    if (ReadAll(copy) != modified)
        Finding("the patched copy differs from the modified file");
    if (!modified.empty()) {
        const Bytes smallest = CreateSmallest(dir, original, modified, tuning.readSize);
        CheckRecords(smallest, IPS32_TERMINATOR_OFFSET);
        if (smallest.size() != SmallestByModel(original, modified))
            Finding("the smallest patch is not the size the model finds");
        if (ApplyModel(original, smallest).target != modified)
            Finding("the smallest patch does not make the modified file");
    }
    fs::remove_all(dir);
    return 0;
}
