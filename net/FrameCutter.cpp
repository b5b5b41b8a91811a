#include "net/FrameCutter.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr size_t kReadChunk = 65536;
}

void FrameCutter::reserve(size_t needed)
{
    needed = std::min(needed, size_t(kMaxFrameLength));
    if (needed <= m_capacity)
        return;
    const size_t grown = std::min(std::max(needed, m_capacity * 2), size_t(kMaxFrameLength));
    auto bigger = std::make_unique_for_overwrite<char[]>(grown);
    if (m_held)
        std::memcpy(bigger.get(), m_buffer.get(), m_held);
    m_buffer = std::move(bigger);
    m_capacity = grown;
}

char *FrameCutter::writeArea()
{
    // Make room for the frame being waited for, or a chunk of the next one.
    reserve(std::max(m_held + kReadChunk, m_pending));
    return m_buffer.get() + m_held;
}

size_t FrameCutter::writeCapacity() const
{
    return m_capacity - m_held;
}

void FrameCutter::commit(size_t n)
{
    m_held += std::min(n, writeCapacity());
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
    if (offset < m_held)
        std::memmove(m_buffer.get(), m_buffer.get() + offset, m_held - offset);
    m_held -= offset;
}

void FrameCutter::clear()
{
    m_held = 0;
    m_pending = 0;
    // Give back a buffer grown for one huge frame.
    if (m_capacity > 4 * kReadChunk) {
        m_buffer.reset();
        m_capacity = 0;
    }
}
