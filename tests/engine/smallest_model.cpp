#include "smallest_model.h"

#include "engine/compare.h"
#include "engine/ips32.h"
#include "engine/smallest.h"
#include "bytes.h"

#include <stdint.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <stdexcept>

// The cost of the cheapest way over the boundaries between bytes, each position
// that must change written by a data record (6 + length) or a run of one
// value (9), at most 65535 long; equal bytes, and zeros in the tail but its
// last byte, passed over for nothing.
size_t SmallestByModel(const Bytes &original, const Bytes &modified)
{
    const size_t size = modified.size(), longest = IPS32_MAX_RECORD_SIZE;
    std::vector<int64_t> cost(size + 1, 0);
    std::deque<size_t> starts = {0};  // cost - boundary rising
    size_t uniform = 0;
    for (size_t i = 1; i <= size; ++i) {
        const size_t at = i - 1;
        if (at == 0 || modified[at] != modified[at - 1])
            uniform = at;
        const bool kept = at < original.size() ? original[at] == modified[at] : modified[at] == 0 && i < size;
        const size_t first = i > longest ? i - longest : 0;
        while (starts.front() < first)
            starts.pop_front();
        cost[i] = kept ? cost[at]
                       : std::min(cost[starts.front()] - (int64_t)starts.front() + 6 + (int64_t)i,
                                  cost[std::max(first, uniform)] + 9);
        while (!starts.empty() && cost[starts.back()] - (int64_t)starts.back() >= cost[i] - (int64_t)i)
            starts.pop_back();
        starts.push_back(i);
    }
    return (size_t)cost[size] + 9;
}

Bytes SmallestPatchOf(const std::string &path, const Bytes &original, const Bytes &modified, DWORD window,
                      size_t piece, DWORD terminatorOffset, bool find)
{
    std::unique_ptr<FoundStretches> found(find ? new FoundStretches : nullptr);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    PatchOutput output;
    SmallestPatch *smallest =
        StartPatchOutput(&output, file, terminatorOffset) ? StartSmallestPatch(&output, window) : NULL;
    BOOL written = smallest != NULL;
    for (size_t at = 0; written && at < modified.size();) {
        size_t count = std::min(piece, modified.size() - at);
        if (at < original.size())
            count = std::min(count, original.size() - at);
        if (found && at < original.size())
            FindSmallestStretches(&original[at], &modified[at], (DWORD)count, at, terminatorOffset, HasAvx2(),
                                  found.get());
        written = at < original.size()
                      ? AddSmallestBytes(smallest, &original[at], &modified[at], (DWORD)count, found.get())
                      : AddSmallestTail(smallest, &modified[at], (DWORD)count);
        at += count;
    }
    written = written && EndSmallestPatch(smallest) && AppendTerminator(&output) && FlushPatchOutput(&output);
    FreeSmallestPatch(smallest);
    EndPatchOutput(&output);
    if (!CloseHandle(file) || !written)
        throw std::runtime_error("the smallest writer failed");
    return ReadFileBytes(path);
}
