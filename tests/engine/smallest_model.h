// The smallest patch's size by a plain walk in memory, and the writer run over its interface.
#ifndef ZORVIK_TESTS_ENGINE_SMALLEST_MODEL_H
#define ZORVIK_TESTS_ENGINE_SMALLEST_MODEL_H

#include "platform/win32.h"

#include <stddef.h>

#include <string>
#include <vector>

size_t SmallestByModel(const std::vector<unsigned char> &original, const std::vector<unsigned char> &modified);

// The smallest writer's patch at path, given both files in pieces, with what a reader finds of each
// piece where find holds; throws where it fails.
std::vector<unsigned char> SmallestPatchOf(const std::string &path, const std::vector<unsigned char> &original,
                                           const std::vector<unsigned char> &modified, DWORD window, size_t piece,
                                           DWORD terminatorOffset, bool find = false);

#endif
