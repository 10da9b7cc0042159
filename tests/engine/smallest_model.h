// The size of the smallest patch of ascending records by a plain walk over
// both files in memory: what the smallest writer must reach. Shared by the
// unit tests and the fuzzer.
#ifndef ZORVIK_TESTS_ENGINE_SMALLEST_MODEL_H
#define ZORVIK_TESTS_ENGINE_SMALLEST_MODEL_H

#include <stddef.h>

#include <vector>

size_t SmallestByModel(const std::vector<unsigned char> &original, const std::vector<unsigned char> &modified);

#endif
