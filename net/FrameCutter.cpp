#include "net/FrameCutter.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr size_t kReadChunk = 65536;
}

void FrameCutter::reserve(size_t needed)
{
    needed = std::min(needed, size_t(kMaxFrameLength));
    if (needed <= capacity)
        return;
    const size_t grown = std::min(std::max(needed, capacity * 2), size_t(kMaxFrameLength));
    auto bigger = std::make_unique_for_overwrite<char[]>(grown);
    if (heldBytes)
        std::memcpy(bigger.get(), buffer.get(), heldBytes);
    buffer = std::move(bigger);
    capacity = grown;
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
}

void FrameCutter::clear()
{
    heldBytes = 0;
    pending = 0;
    // Give back a buffer grown for one huge frame.
    if (capacity > 4 * kReadChunk) {
        buffer.reset();
        capacity = 0;
    }
}
