#include "bytes.h"

#include <stdio.h>
#include <sys/stat.h>

#include <random>
#include <stdexcept>

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
    // An empty vector's data() may be null, which fwrite must not get.
    bool written = file != nullptr && (bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    if (file == nullptr || fclose(file) != 0 || !written)
        throw std::runtime_error("cannot write " + path);
}

Bytes ReadFileBytes(const std::string &path)
{
    FILE *file = fopen(path.c_str(), "rb");
    Bytes bytes;
    unsigned char chunk[65536];
    size_t got;
    while (file != nullptr && (got = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    bool read = file != nullptr && ferror(file) == 0;
    if (file == nullptr || fclose(file) != 0 || !read)
        throw std::runtime_error("cannot read " + path);
    return bytes;
}

bool PathExists(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
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
    Bytes record = DataRecord(offset, {});  // a size of 0 marks a run
    PutBigEndian(record, length, 2);
    record.push_back(value);
    return record;
}

Bytes BuildPatch(const std::vector<Bytes> &records)
{
    return Concat({ToBytes("IPS32"), Concat(records), ToBytes("EEOF")});
}

Bytes RandomBytes(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (unsigned char &byte : bytes)
        byte = (unsigned char)random();
    return bytes;
}
