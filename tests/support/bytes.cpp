#include "bytes.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/stat.h>

#include <random>

Bytes ToBytes(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

Bytes Concat(const std::vector<Bytes> &parts)
{
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Prefix(const Bytes &bytes, size_t length)
{
    return Bytes(bytes.begin(), bytes.begin() + (long)std::min(length, bytes.size()));
}

void WriteFileBytes(const std::string &path, const Bytes &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file) << path;
    if (!bytes.empty()) {
        EXPECT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), file)) << path;
    }
    EXPECT_EQ(0, fclose(file)) << path;
}

Bytes ReadFileBytes(const std::string &path)
{
    Bytes bytes;
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot read " << path;
        return bytes;
    }
    unsigned char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(file);
    return bytes;
}

bool PathExists(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

Bytes PatchHeader()
{
    return ToBytes("IPS32");
}

Bytes PatchTerminator()
{
    return ToBytes("EEOF");
}

static void PutBigEndian(Bytes &out, uint32_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back((unsigned char)(value >> shift));
}

Bytes DataRecord(uint32_t offset, const Bytes &data)
{
    Bytes record;
    PutBigEndian(record, offset, 4);
    PutBigEndian(record, (uint32_t)data.size(), 2);
    record.insert(record.end(), data.begin(), data.end());
    return record;
}

Bytes RunRecord(uint32_t offset, uint16_t length, unsigned char value)
{
    Bytes record;
    PutBigEndian(record, offset, 4);
    PutBigEndian(record, 0, 2);
    PutBigEndian(record, length, 2);
    record.push_back(value);
    return record;
}

Bytes BuildPatch(const std::vector<Bytes> &records)
{
    return Concat({PatchHeader(), Concat(records), PatchTerminator()});
}

Bytes RandomBytes(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (unsigned char &byte : bytes)
        byte = (unsigned char)random();
    return bytes;
}
