// The service's request parser. Properties: the requests cut out of a stream,
// and where it fails, do not depend on how the bytes arrive; neither limit is
// ever exceeded by a request handed out.
#include <cstdint>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>

#include "fuzz/FuzzSupport.h"
#include "service/web/HttpRequestParser.h"

namespace {

using FuzzSupport::require;

struct Parsed {
    std::vector<HttpRequestParser::Result> requests;
    HttpRequestParser::Status status = HttpRequestParser::Status::NeedMore;
    HttpRequestParser::Error error = HttpRequestParser::Error::None;
    qsizetype buffered = 0;
};

bool sameRequest(const HttpRequestParser::Result &a, const HttpRequestParser::Result &b)
{
    return a.consumed == b.consumed && a.request.method == b.request.method &&
           a.request.path == b.request.path && a.request.query == b.request.query &&
           a.request.version == b.request.version && a.request.headers == b.request.headers;
}

// Feeds the pieces one by one and takes every request out after each, as
// the connection does; stops at a failure, where the connection closes.
Parsed parse(const uint8_t *data, const std::vector<size_t> &pieces, int headerLimit, int bodyLimit)
{
    HttpRequestParser parser(headerLimit, bodyLimit);
    Parsed out;
    for (const size_t piece : pieces) {
        parser.feed(QByteArrayView(data, qsizetype(piece)));
        data += piece;
        for (;;) {
            HttpRequestParser::Result result = parser.next();
            out.status = result.status;
            out.error = result.error;
            if (result.status != HttpRequestParser::Status::Complete)
                break;
            require(result.consumed > 0, "a request takes bytes");
            (void)HttpRequestParser::keepAlive(result.request);
            out.requests.push_back(std::move(result));
        }
        if (out.status == HttpRequestParser::Status::Failed)
            break;
    }
    out.buffered = parser.buffered();
    return out;
}

void checkChunkings(const uint8_t *data, size_t size, int headerLimit, int bodyLimit)
{
    const Parsed whole = parse(data, {size}, headerLimit, bodyLimit);
    const Parsed pieces = parse(data, FuzzSupport::chunkSizes(data, size), headerLimit, bodyLimit);
    require(whole.requests.size() == pieces.requests.size(), "the same number of requests in any chunking");
    for (size_t i = 0; i < whole.requests.size(); ++i)
        require(sameRequest(whole.requests[i], pieces.requests[i]), "the same requests in any chunking");
    require(whole.status == pieces.status && whole.error == pieces.error, "the same verdict in any chunking");
    if (whole.status != HttpRequestParser::Status::Failed)
        require(whole.buffered == pieces.buffered, "the same bytes left over in any chunking");
    for (const HttpRequestParser::Result &r : whole.requests)
        require(r.consumed <= qsizetype(headerLimit) + 4 + bodyLimit, "a request stays within the limits");
    (void)HttpRequestParser::httpStatus(whole.error);
    (void)HttpRequestParser::errorName(whole.error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checkChunkings(data, size, HttpRequestParser::kMaxHeaderBytes, HttpRequestParser::kMaxBodyBytes);
    // Limits small enough for the fuzzer's inputs to cross them.
    checkChunkings(data, size, 96, 64);
    return 0;
}
