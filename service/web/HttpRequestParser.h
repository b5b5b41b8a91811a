#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QHostAddress>

#include <optional>

struct HttpRequest {
    QByteArray method;
    QByteArray path;  // raw, up to the "?"
    QByteArray query; // raw, after the "?"
    QByteArray version;
    QHash<QByteArray, QByteArray> headers; // names lower-cased
    QHostAddress peer;
    // Where the request came in, for building addresses back to us.
    QHostAddress localAddress;
    quint16 localPort = 0;

    QByteArray header(const QByteArray &lowerName) const { return headers.value(lowerName); }
};

// Cuts HTTP/1.1 requests out of a byte stream, with no socket: bytes go in
// with feed() in whatever pieces they arrive, complete requests come out of
// next() one at a time. The body is counted (Content-Length) and skipped; the
// handlers only take GET and HEAD. Peer and local addresses are left for the
// connection to fill in.
class HttpRequestParser {
public:
    static constexpr int kMaxHeaderBytes = 16 * 1024;
    static constexpr int kMaxBodyBytes = 64 * 1024;

    enum class Status {
        NeedMore, // no complete request buffered yet
        Complete, // result.request holds the next request
        Failed,   // the stream is unusable from here on; result.error says why
    };

    enum class Error {
        None,
        HeaderTooLarge,              // header block longer than the limit
        BadRequestLine,              // not "METHOD target HTTP/x"
        UnsupportedTransferEncoding, // chunked and friends are not read
        BadLength,                   // Content-Length not a non-negative number
        BodyTooLarge,                // Content-Length above the limit
        UnsupportedVersion,          // HTTP, but neither 1.0 nor 1.1
        BadLineEnding,               // a CR or LF alone in the header block
        ConflictingLengths,          // Content-Length given twice, differently
    };

    struct Result {
        Status status = Status::NeedMore;
        Error error = Error::None;
        HttpRequest request;
        // Bytes of the stream this request took, header block and body.
        qsizetype consumed = 0;
    };

    // Limits on the header block (without its closing blank line) and the body.
    explicit HttpRequestParser(int maxHeaderBytes = kMaxHeaderBytes, int maxBodyBytes = kMaxBodyBytes);

    void feed(QByteArrayView bytes);
    // The next request out of what has been fed. A failure is final: every
    // later call gives it again.
    Result next();
    // Drops everything fed and any failure.
    void clear();
    // Bytes fed and not yet handed out as part of a request.
    qsizetype buffered() const { return buffer.size(); }

    // The status a server answers a failure with.
    static int httpStatus(Error error);
    static const char *errorName(Error error);
    // Whether the connection stays open after this request.
    static bool keepAlive(const HttpRequest &request);

private:
    Result fail(Error error);
    // Reads the header block buffer[0, headerEnd); sets pending and frameBytes.
    Error parseHead(qsizetype headerEnd);
    // Lines end in CR LF; a lone CR or LF in buffer[0, to) is refused as soon
    // as it is seen, rather than waiting for a blank line that may never come.
    Error checkLineEnds(qsizetype to);

    int headerLimit;
    int bodyLimit;
    QByteArray buffer;
    // Where the search for the blank line resumes; what is before holds none.
    qsizetype scanFrom = 0;
    // Where checkLineEnds() resumes.
    qsizetype lineEndsCheckedTo = 0;
    // The request whose header block has been read, waiting for its body.
    std::optional<HttpRequest> pending;
    qsizetype frameBytes = 0;
    Error failure = Error::None;
};
