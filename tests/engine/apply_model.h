// Patch application by the format's rules alone, in memory: what ApplyPatch must leave.
#ifndef ZORVIK_TESTS_ENGINE_APPLY_MODEL_H
#define ZORVIK_TESTS_ENGINE_APPLY_MODEL_H

#include <stddef.h>

#include <vector>

struct ModelResult {
    bool applies;                       // an IPS32 patch that reaches its terminator
    bool fits;                          // no record reaches beyond the size limit
    std::vector<unsigned char> target;  // after every record read in full (when fits)
};

// Applies patch to target, leaving out cut records; past maxSize, fits is false.
ModelResult ApplyModel(const std::vector<unsigned char> &target, const std::vector<unsigned char> &patch,
                       size_t maxSize = 64u << 20);

#endif
