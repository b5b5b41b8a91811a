// The receive path of the data connection: bytes cut into frames, each frame
// turned into its message through the type registry. Properties: the frames
// and the verdict do not depend on how the bytes arrive, and a decoded
// message encodes to a frame that decodes to the same message.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <google/protobuf/message.h>
#include <google/protobuf/stubs/logging.h>

#include "fuzz/FuzzSupport.h"
#include "net/ConnectSession.h"
#include "net/FrameCutter.h"
#include "net/MsgHeader.h"

namespace {

using FuzzSupport::require;

struct Received {
    std::vector<std::string> frames;
    FrameCutter::Status status = FrameCutter::Status::Ok;
    int32_t badLength = 0;
};

// Feeds the pieces one by one, as the connection's reads would, and stops at
// the first bad header, where the connection would drop. The cutter is the
// one of the last run, cleared as a reconnection clears it; a fresh one would
// spend most of the run allocating its buffer.
Received receive(FrameCutter &cutter, const uint8_t *data, const std::vector<size_t> &pieces)
{
    cutter.clear();
    Received out;
    const auto onFrame = [&](const char *frame, int length) {
        out.frames.emplace_back(frame, size_t(length));
    };
    for (const size_t piece : pieces) {
        cutter.append(reinterpret_cast<const char *>(data), piece);
        data += piece;
        out.status = cutter.cut(onFrame);
        if (out.status != FrameCutter::Status::Ok) {
            out.badLength = cutter.badLength();
            break;
        }
    }
    return out;
}

std::string bodyBytes(MsgHeader &msg)
{
    google::protobuf::Message *body = msg.GetBody();
    return body ? body->SerializePartialAsString() : std::string();
}

void checkRoundTrip(const std::string &frame)
{
    const std::unique_ptr<MsgHeader> msg = ConnectSession::decodeFrame(frame.data(), int(frame.size()));
    if (!msg)
        return; // an unassigned type: the connection drops the frame
    require(msg->type == readLe32(frame.data() + 4), "the registry makes the frame's type");

    // Canonical encoding may be longer than what was read (a short varint
    // for a negative int32 becomes ten bytes), so ask the body its size.
    google::protobuf::Message *body = msg->GetBody();
    std::vector<char> encoded(size_t(kFrameHeaderSize) + (body ? body->ByteSizeLong() : 0));
    const int length = msg->Encode(encoded.data(), int(encoded.size()));
    require(length >= kFrameHeaderSize, "a decoded message encodes");
    const std::unique_ptr<MsgHeader> again = ConnectSession::decodeFrame(encoded.data(), length);
    require(again && again->type == msg->type && again->reserved == msg->reserved,
            "the encoded header decodes to the same header");
    require(bodyBytes(*again) == bodyBytes(*msg), "the encoded body decodes to the same body");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Debug builds of the generated code log every text field that is not
    // UTF-8; the fuzzer makes such fields all the time.
    google::protobuf::SetLogHandler(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static FrameCutter wholeCutter;
    static FrameCutter piecesCutter;
    const Received whole = receive(wholeCutter, data, {size});
    const Received pieces = receive(piecesCutter, data, FuzzSupport::chunkSizes(data, size));
    require(pieces.frames == whole.frames, "the same frames in any chunking");
    require(pieces.status == whole.status && pieces.badLength == whole.badLength,
            "the same verdict in any chunking");
    for (const std::string &frame : whole.frames)
        checkRoundTrip(frame);
    return 0;
}
