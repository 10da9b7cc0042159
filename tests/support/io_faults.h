#ifndef ZORVIK_TESTS_SUPPORT_IO_FAULTS_H
#define ZORVIK_TESTS_SUPPORT_IO_FAULTS_H

#include <stddef.h>

// While one is alive, every other read or write fails with EINTR and the others move at
// most `most` bytes (EIO after a million calls); with closesFail, closes fail with EIO.
class IoFaults {
public:
    explicit IoFaults(size_t most, bool closesFail = false);
    ~IoFaults();
    IoFaults(const IoFaults &) = delete;
    IoFaults &operator=(const IoFaults &) = delete;
};

#endif
