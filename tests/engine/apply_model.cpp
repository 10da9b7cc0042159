#include "apply_model.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>

static uint64_t BigEndianAt(const std::vector<unsigned char> &bytes, size_t at, int count)
{
    uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[at + i];
    return value;
}

ModelResult ApplyModel(const std::vector<unsigned char> &target, const std::vector<unsigned char> &patch,
                       size_t maxSize)
{
    ModelResult model = {false, true, target};
    if (patch.size() < 5 || memcmp(patch.data(), "IPS32", 5) != 0)
        return model;
    for (size_t at = 5; at + 4 <= patch.size();) {
        if (memcmp(&patch[at], "EEOF", 4) == 0) {
            model.applies = true;
            return model;
        }
        // A data record takes 6 + size bytes, a run record (size 0) 9.
        size_t size = at + 6 <= patch.size() ? (size_t)BigEndianAt(patch, at + 4, 2) : 0;
        size_t end = at + (size != 0 ? 6 + size : 9);
        if (end > patch.size())
            return model;
        uint64_t offset = BigEndianAt(patch, at, 4), length = size != 0 ? size : BigEndianAt(patch, at + 6, 2);
        at = end;
        if (offset + length > maxSize)
            model.fits = false;
        if (length == 0 || !model.fits)
            continue;
        if (model.target.size() < offset + length)
            model.target.resize((size_t)(offset + length), 0);
        if (size != 0)
            std::copy_n(patch.begin() + (long)(end - size), size, model.target.begin() + (long)offset);
        else
            std::fill_n(model.target.begin() + (long)offset, (size_t)length, patch[end - 1]);
    }
    return model;
}
