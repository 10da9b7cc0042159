// Runs a fuzz target (its LLVMFuzzerTestOneInput is linked in) over saved
// inputs and seeded random ones, so that the unit tests replay the corpora and
// a few hundred fresh cases on every build; a finding aborts the run.
//   REPLAY [--seeded COUNT] [--prefix TEXT] DIR...
// Seeded inputs are 0 to 400 random bytes, most of them after TEXT.
#include "bytes.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <random>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    int seeded = 0, replayed = 0;
    std::string prefix;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--seeded") == 0 && i + 1 < argc) {
            seeded = atoi(argv[++i]);
        } else if (strcmp(argv[i], "--prefix") == 0 && i + 1 < argc) {
            prefix = argv[++i];
        } else {
            for (const auto &entry : std::filesystem::directory_iterator(argv[i])) {
                const Bytes input = ReadFileBytes(entry.path().string());
                LLVMFuzzerTestOneInput(input.data(), input.size());
                ++replayed;
            }
        }
    }
    std::mt19937 random(1);
    for (int i = 0; i < seeded; ++i) {
        Bytes input(random() % 4 ? prefix.begin() : prefix.end(), prefix.end());
        for (size_t size = random() % 401; size > 0; --size)
            input.push_back((uint8_t)random());
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    printf("%d passed, 0 failed\n", replayed + seeded);
    return replayed > 0 ? 0 : 1;
}
