#ifndef ZORVIK_TESTS_SUPPORT_BYTES_H
#define ZORVIK_TESTS_SUPPORT_BYTES_H

#include <stdint.h>

#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

inline Bytes ToBytes(const std::string &text) { return Bytes(text.begin(), text.end()); }
Bytes Concat(const std::vector<Bytes> &parts);
Bytes Prefix(const Bytes &bytes, size_t length);

// Whole-file helpers through the C library, shared by the unit tests and the
// fuzz targets: a file that cannot be written or read throws, which fails the
// test or aborts the fuzz run.
void WriteFileBytes(const std::string &path, const Bytes &bytes);
Bytes ReadFileBytes(const std::string &path);
bool PathExists(const std::string &path);

// IPS32 building blocks: one record of each form.
Bytes DataRecord(uint32_t offset, const Bytes &data);
Bytes RunRecord(uint32_t offset, uint16_t length, unsigned char value);
// "IPS32", the records in order, then "EEOF".
Bytes BuildPatch(const std::vector<Bytes> &records);

// Deterministic pseudo-random bytes for a seed.
Bytes RandomBytes(size_t size, uint32_t seed);

#endif
