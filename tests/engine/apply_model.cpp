#include "apply_model.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>

static uint32_t BigEndianAt(const std::vector<unsigned char> &bytes, size_t at, int count)
{
    uint32_t value = 0;
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
    size_t at = 5;
    while (at + 4 <= patch.size()) {
        if (memcmp(&patch[at], "EEOF", 4) == 0) {
            model.applies = true;
            return model;
        }
        if (at + 6 > patch.size())
            return model;
        size_t offset = BigEndianAt(patch, at, 4);
        size_t size = BigEndianAt(patch, at + 4, 2);
        size_t length = size;
        const unsigned char *data = &patch[at + 6];
        unsigned char value = 0;
        if (size != 0) {
            if (at + 6 + size > patch.size())
                return model;
            at += 6 + size;
        } else {
            if (at + 9 > patch.size())
                return model;
            length = BigEndianAt(patch, at + 6, 2);
            value = patch[at + 8];
            data = nullptr;
            at += 9;
        }
        if (offset + length > maxSize)
            model.fits = false;
        if (length == 0 || !model.fits)
            continue;
        if (model.target.size() < offset + length)
            model.target.resize(offset + length, 0);
        if (data != nullptr)
            std::copy(data, data + length, model.target.begin() + (long)offset);
        else
            std::fill(model.target.begin() + (long)offset, model.target.begin() + (long)(offset + length), value);
    }
    return model;
}
