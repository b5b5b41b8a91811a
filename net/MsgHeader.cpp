#include "net/MsgHeader.h"

#include <cstring>

#include <google/protobuf/io/coded_stream.h>
#include <google/protobuf/io/zero_copy_stream_impl_lite.h>

int32_t readLe32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    const uint32_t v = uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
    return static_cast<int32_t>(v);
}

void writeLe32(char *p, int32_t value)
{
    const auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

int MsgHeader::Encode(char *buffer, int capacity)
{
    if (capacity < kFrameHeaderSize)
        return 0;
    google::protobuf::Message *body = GetBody();
    size_t bodySize = 0;
    if (body) {
        bodySize = body->ByteSizeLong();
        if (bodySize > size_t(capacity - kFrameHeaderSize))
            return 0;
    }
    length = static_cast<int32_t>(kFrameHeaderSize + bodySize);
    writeLe32(buffer, length);
    writeLe32(buffer + 4, type);
    writeLe32(buffer + 8, reserved);
    if (body && bodySize > 0) {
        google::protobuf::io::ArrayOutputStream array(buffer + kFrameHeaderSize, capacity - kFrameHeaderSize);
        google::protobuf::io::CodedOutputStream out(&array);
        body->SerializeWithCachedSizes(&out);
        out.Trim();
        length = static_cast<int32_t>(kFrameHeaderSize + out.ByteCount());
        writeLe32(buffer, length);
    }
    return length;
}

void MsgHeader::Decode(const char *frame, int frameLength)
{
    length = readLe32(frame);
    type = readLe32(frame + 4);
    reserved = readLe32(frame + 8);
    google::protobuf::Message *body = GetBody();
    if (!body || frameLength <= kFrameHeaderSize)
        return;
    google::protobuf::io::CodedInputStream in(reinterpret_cast<const uint8_t *>(frame + kFrameHeaderSize),
                                              frameLength - kFrameHeaderSize);
    // Frames may reach the receive buffer's size; lift the default 64 MiB guard only as far as needed.
    in.SetTotalBytesLimit(frameLength);
    (void)body->MergePartialFromCodedStream(&in);
}
