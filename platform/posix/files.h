// What the file functions of the POSIX layer share with its other parts; not
// part of what callers see.
#ifndef ZORVIK_PLATFORM_POSIX_FILES_H
#define ZORVIK_PLATFORM_POSIX_FILES_H

#include "handles.h"

// Something a handle stands for that owns a descriptor, closed with it.
class DescriptorObject : public KernelObject {
public:
    explicit DescriptorObject(int fd) : fd(fd) {}
    ~DescriptorObject() override;
    BOOL Close() override;
    int fd;
};

// The descriptor of an open file's handle; -1 for any other handle.
int FileDescriptor(HANDLE file);

#endif
