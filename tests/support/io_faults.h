#ifndef ZORVIK_TESTS_SUPPORT_IO_FAULTS_H
#define ZORVIK_TESTS_SUPPORT_IO_FAULTS_H

#include <stddef.h>

// While one is alive, this program's read, write, pread and pwrite calls, on
// every thread, are disturbed as a signal or a busy system disturbs them:
// every other call fails with EINTR before it moves anything, and the others
// move at most `most` bytes. After a million calls each fails with EIO, which
// ends a loop that would otherwise never end. With closesFail, close and
// fclose close and then fail with EIO, as a network volume reports a write
// that failed late. Not on Windows.
class IoFaults {
public:
    explicit IoFaults(size_t most, bool closesFail = false);
    ~IoFaults();
    IoFaults(const IoFaults &) = delete;
    IoFaults &operator=(const IoFaults &) = delete;
};

#endif
