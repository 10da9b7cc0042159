#include "engine/patch_reader.h"

#include "platform/threads.h"

#include <stdlib.h>
#include <string.h>

#include <system_error>

// A ring buffer: the rest of a record, the chunk aligned as the file, and room
// to align it.
static const DWORD kRoomBefore = IPS32_MAX_RECORD_SIZE;
static const DWORD kBufferSize = kRoomBefore + PATCH_CHUNK_SIZE + PATCH_READER_ALIGNMENT;

BOOL RefillPatch(PatchReader &patch, DWORD size)
{
    if (patch.ahead != NULL) {
        while (patch.end - patch.next < size)
            if (!patch.ahead->Take(patch.chunk + patch.next, patch.end - patch.next, patch))
                return 0;
        return 1;
    }
    const DWORD kept = patch.end - patch.next;
    const DWORD start = (DWORD)((patch.position - (uintptr_t)patch.chunk) % PATCH_READER_ALIGNMENT);
    memmove(patch.chunk + start, patch.chunk + patch.next, kept);
    patch.next = start;
    patch.end = start + kept;
    while (patch.end - start < size) {
        // size is at most a record, so a whole chunk always fits behind it.
        DWORD got = (DWORD)fread(patch.chunk + patch.end, 1, PATCH_CHUNK_SIZE, patch.file);
        if (got == 0)
            return 0;
        patch.end += got;
    }
    return 1;
}

PatchReadAhead::~PatchReadAhead()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (reader_.joinable())
        reader_.join();
    free(ring_);
}

BOOL PatchReadAhead::Start(FILE *file, uint64_t position)
{
    file_ = file;
    start_ = position;
    if (!ThreadsAvailable() || (ring_ = (unsigned char *)malloc((size_t)kRing * kBufferSize)) == NULL)
        return 0;
    try {
        reader_ = std::thread(&PatchReadAhead::Read, this);
    } catch (const std::system_error &) {
        return 0;
    }
    return 1;
}

// Where chunk index begins in its buffer: after the room for a record's rest,
// at the offset within PATCH_READER_ALIGNMENT bytes that it has in the file.
unsigned char *PatchReadAhead::Data(uint64_t index) const
{
    unsigned char *room = ring_ + (size_t)(index % kRing) * kBufferSize + kRoomBefore;
    return room + (start_ + index * PATCH_CHUNK_SIZE - (uintptr_t)room) % PATCH_READER_ALIGNMENT;
}

// Reads chunk after chunk into the ring, as long as its buffer is neither the
// one held nor the next to be taken, until the file ends or a read fails.
void PatchReadAhead::Read()
{
    for (uint64_t index = 0;; ++index) {
        {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [&] { return stopping_ || index + 1 < taken_ + kRing; });
            if (stopping_)
                return;
        }
        const DWORD got = (DWORD)fread(Data(index), 1, PATCH_CHUNK_SIZE, file_);
        std::lock_guard<std::mutex> guard(lock_);
        sizes_[index % kRing] = got;
        read_ = index + 1;
        ended_ = got < PATCH_CHUNK_SIZE;
        changed_.notify_all();
        if (ended_)
            return;
    }
}

BOOL PatchReadAhead::Take(const unsigned char *keep, DWORD kept, PatchReader &patch)
{
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return read_ > taken_ || ended_; });
    if (read_ <= taken_)
        return 0;
    const uint64_t index = taken_;
    const DWORD size = sizes_[index % kRing];
    guard.unlock();
    unsigned char *data = Data(index);
    memcpy(data - kept, keep, kept);
    patch.chunk = data - kept;
    patch.next = 0;
    patch.end = kept + size;
    guard.lock();
    taken_ = index + 1;
    changed_.notify_all();
    return 1;
}
