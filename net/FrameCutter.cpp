#include "net/FrameCutter.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr size_t kReadChunk = 65536;
// A buffer above this is given back once the frame it was grown for is through.
constexpr size_t kKeptCapacity = 4 * kReadChunk;
} // namespace

void FrameCutter::setMaxFrameLength(int32_t length)
{
    maxLength = std::clamp(length, kFrameHeaderSize, kMaxFrameLength);
}

void FrameCutter::reallocate(size_t size)
{
    auto fresh = std::make_unique_for_overwrite<char[]>(size);
    if (heldBytes)
        std::memcpy(fresh.get(), buffer.get(), heldBytes);
    buffer = std::move(fresh);
    capacity = size;
}

void FrameCutter::reserve(size_t needed)
{
    needed = std::min(needed, size_t(kMaxFrameLength));
    if (needed <= capacity)
        return;
    reallocate(std::min(std::max(needed, capacity * 2), size_t(kMaxFrameLength)));
}

char *FrameCutter::writeArea()
{
    // Make room for the frame being waited for, or a chunk of the next one.
    reserve(std::max(heldBytes + kReadChunk, pending));
    return buffer.get() + heldBytes;
}

size_t FrameCutter::writeCapacity() const
{
    return capacity - heldBytes;
}

void FrameCutter::commit(size_t n)
{
    heldBytes += std::min(n, writeCapacity());
}

void FrameCutter::append(const char *data, size_t n)
{
    while (n > 0) {
        char *area = writeArea();
        const size_t room = writeCapacity();
        if (room == 0)
            return;
        const size_t take = std::min(room, n);
        std::memcpy(area, data, take);
        commit(take);
        data += take;
        n -= take;
    }
}

void FrameCutter::compact(size_t offset)
{
    if (offset == 0)
        return;
    if (offset < heldBytes)
        std::memmove(buffer.get(), buffer.get() + offset, heldBytes - offset);
    heldBytes -= offset;
    // Give back a buffer grown for a large frame, unless the next one is as large.
    if (capacity > kKeptCapacity && heldBytes <= kReadChunk && pending <= kReadChunk)
        reallocate(2 * kReadChunk);
}

void FrameCutter::clear()
{
    heldBytes = 0;
    pending = 0;
    // Give back a buffer grown for one huge frame.
    if (capacity > kKeptCapacity) {
        buffer.reset();
        capacity = 0;
    }
}
