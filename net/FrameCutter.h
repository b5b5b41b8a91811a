#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "net/MsgHeader.h"

// Holds received bytes and cuts them into frames. Knows nothing of sockets, so
// it can be fed bytes in any chunking. The buffer grows on demand up to the
// frame length limit (kMaxFrameLength unless set lower) and shrinks again once
// a large frame is through; bad lengths are rejected as soon as their header
// is read.
class FrameCutter {
public:
    enum class Status {
        Ok,
        FrameTooLarge, // a header announced more than maxFrameLength() bytes
        FrameTooSmall, // a header announced fewer than kFrameHeaderSize bytes
    };

    FrameCutter() = default;

    // Room for the next read: at least one byte unless the buffer is full.
    char *writeArea();
    size_t writeCapacity() const;
    // Counts n bytes written at writeArea() as received.
    void commit(size_t n);
    // Copies bytes in (for tests and benchmarks).
    void append(const char *data, size_t n);

    // The longest frame accepted, at most kMaxFrameLength; takes effect from
    // the next header read, also in the middle of a cut().
    void setMaxFrameLength(int32_t length);
    int32_t maxFrameLength() const { return maxLength; }

    // Delivers the complete frames held, in order, as onFrame(frame, length),
    // at most maxFrames of them, then moves the rest to the buffer start.
    // Stops at the first bad header and reports it; the frames before it have
    // been delivered.
    template <class OnFrame> Status cut(OnFrame &&onFrame, size_t maxFrames = SIZE_MAX)
    {
        size_t offset = 0;
        size_t delivered = 0;
        Status status = Status::Ok;
        pending = 0;
        while (delivered < maxFrames && heldBytes - offset >= size_t(kFrameHeaderSize)) {
            const char *frame = buffer.get() + offset;
            const int32_t length = readLe32(frame);
            if (length < kFrameHeaderSize) {
                status = Status::FrameTooSmall;
                lastBadLength = length;
                break;
            }
            if (length > maxLength) {
                status = Status::FrameTooLarge;
                lastBadLength = length;
                break;
            }
            if (offset + size_t(length) > heldBytes) {
                pending = size_t(length);
                break;
            }
            onFrame(frame, length);
            offset += size_t(length);
            ++delivered;
        }
        compact(offset);
        return status;
    }

    size_t held() const { return heldBytes; }
    size_t allocated() const { return capacity; }
    int32_t badLength() const { return lastBadLength; }
    // Forgets every byte held (a connection was lost or made).
    void clear();

private:
    void compact(size_t offset);
    void reserve(size_t needed);
    void reallocate(size_t size);

    std::unique_ptr<char[]> buffer;
    size_t capacity = 0;
    size_t heldBytes = 0;
    size_t pending = 0;
    int32_t lastBadLength = 0;
    int32_t maxLength = kMaxFrameLength;
};
