// The smallest writer in the tests: the size of the smallest patch of
// ascending records by a plain walk over both files in memory (what the
// writer must reach), and the writer run over its own interface. Shared by
// the unit tests and the fuzzer.
#ifndef ZORVIK_TESTS_ENGINE_SMALLEST_MODEL_H
#define ZORVIK_TESTS_ENGINE_SMALLEST_MODEL_H

#include "platform/win32.h"

#include <stddef.h>

#include <string>
#include <vector>

size_t SmallestByModel(const std::vector<unsigned char> &original, const std::vector<unsigned char> &modified);

// The patch the smallest writer makes at path (read back whole) when it gets
// both files in pieces of piece bytes, with window positions and no record
// at terminatorOffset. Throws when the writer fails.
std::vector<unsigned char> SmallestPatchOf(const std::string &path, const std::vector<unsigned char> &original,
                                           const std::vector<unsigned char> &modified, DWORD window, size_t piece,
                                           DWORD terminatorOffset);

#endif
