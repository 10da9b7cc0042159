// Patch application by the format's rules alone, over bytes in memory: what
// ApplyPatch must leave in a file. Shared by the unit tests and the fuzzer.
#ifndef ZORVIK_TESTS_ENGINE_APPLY_MODEL_H
#define ZORVIK_TESTS_ENGINE_APPLY_MODEL_H

#include <stddef.h>

#include <vector>

struct ModelResult {
    bool applies;                       // an IPS32 patch that reaches its terminator
    bool fits;                          // no record reaches beyond the size limit
    std::vector<unsigned char> target;  // after every record read in full (when fits)
};

// Applies patch to target; records cut short by the end of the patch are left
// out. From a record on that would make the target larger than maxSize, fits
// is false and the records are only read.
ModelResult ApplyModel(const std::vector<unsigned char> &target, const std::vector<unsigned char> &patch,
                       size_t maxSize = 64u << 20);

#endif
