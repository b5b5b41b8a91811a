#include "service/web/HttpRequestParser.h"

#include <QList>

#include <algorithm>

namespace {

const QByteArray kHeaderEnd = QByteArrayLiteral("\r\n\r\n");

} // namespace

HttpRequestParser::HttpRequestParser(int maxHeaderBytes, int maxBodyBytes)
    : headerLimit(maxHeaderBytes), bodyLimit(maxBodyBytes)
{
}

void HttpRequestParser::feed(QByteArrayView bytes)
{
    buffer.append(bytes);
}

void HttpRequestParser::clear()
{
    buffer.clear();
    scanFrom = 0;
    lineEndsCheckedTo = 0;
    pending.reset();
    frameBytes = 0;
    failure = Error::None;
}

HttpRequestParser::Result HttpRequestParser::next()
{
    if (failure != Error::None)
        return fail(failure);
    if (!pending) {
        const qsizetype end = buffer.indexOf(kHeaderEnd, scanFrom);
        // Line ends are judged only as far as a block within the limit can
        // reach; what lies further is a block too long however it arrives.
        const qsizetype reach = std::min<qsizetype>(end < 0 ? buffer.size() : end + kHeaderEnd.size(),
                                                    qsizetype(headerLimit) + kHeaderEnd.size());
        const Error lineEnds = checkLineEnds(reach);
        if (lineEnds != Error::None)
            return fail(lineEnds);
        if (end < 0) {
            // A blank line still to come starts at size - 3 at the earliest,
            // so the block is too long as soon as that is past the limit;
            // not before, or the answer would depend on how the bytes came.
            const qsizetype earliestEnd = buffer.size() - (kHeaderEnd.size() - 1);
            if (earliestEnd > headerLimit)
                return fail(Error::HeaderTooLarge);
            scanFrom = std::max<qsizetype>(0, earliestEnd);
            return {};
        }
        if (end > headerLimit)
            return fail(Error::HeaderTooLarge);
        const Error error = parseHead(end);
        if (error != Error::None)
            return fail(error);
    }
    if (buffer.size() < frameBytes)
        return {};
    Result result;
    result.status = Status::Complete;
    result.request = std::move(*pending);
    result.consumed = frameBytes;
    buffer.remove(0, frameBytes);
    pending.reset();
    frameBytes = 0;
    scanFrom = 0;
    lineEndsCheckedTo = 0;
    return result;
}

HttpRequestParser::Error HttpRequestParser::checkLineEnds(qsizetype to)
{
    qsizetype i = lineEndsCheckedTo;
    for (; i < to; ++i) {
        const char c = buffer.at(i);
        if (c == '\n' && (i == 0 || buffer.at(i - 1) != '\r'))
            return Error::BadLineEnding;
        if (c == '\r') {
            if (i + 1 >= to)
                break; // its LF may be on the way, or lies past the limit
            if (buffer.at(i + 1) != '\n')
                return Error::BadLineEnding;
        }
    }
    lineEndsCheckedTo = i;
    return Error::None;
}

HttpRequestParser::Error HttpRequestParser::parseHead(qsizetype headerEnd)
{
    HttpRequest request;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QByteArray requestLine = lines.value(0).trimmed();
    const qsizetype firstSpace = requestLine.indexOf(' ');
    const qsizetype lastSpace = requestLine.lastIndexOf(' ');
    if (firstSpace <= 0 || lastSpace <= firstSpace)
        return Error::BadRequestLine;
    request.method = requestLine.left(firstSpace);
    request.version = requestLine.mid(lastSpace + 1);
    const QByteArray &v = request.version;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (v.size() != 8 || !v.startsWith("HTTP/") || !digit(v[5]) || v[6] != '.' || !digit(v[7]))
        return Error::BadRequestLine;
    if (request.version != "HTTP/1.1" && request.version != "HTTP/1.0")
        return Error::UnsupportedVersion;
    QByteArray target = requestLine.mid(firstSpace + 1, lastSpace - firstSpace - 1).trimmed();
    // Absolute form, as sent to a proxy: only the path and query count.
    if (target.startsWith("http://") || target.startsWith("https://")) {
        const qsizetype slash = target.indexOf('/', target.indexOf("//") + 2);
        target = slash < 0 ? QByteArray("/") : target.mid(slash);
    }
    const qsizetype question = target.indexOf('?');
    request.path = question < 0 ? target : target.left(question);
    request.query = question < 0 ? QByteArray() : target.mid(question + 1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        // Two lengths that differ leave the end of the body open to guessing.
        if (name == "content-length" && request.headers.contains(name) &&
            request.headers.value(name) != value)
            return Error::ConflictingLengths;
        request.headers.insert(name, value);
    }
    if (!request.header("transfer-encoding").isEmpty())
        return Error::UnsupportedTransferEncoding;
    bool lengthOk = true;
    const QByteArray lengthText = request.header("content-length");
    const qint64 bodyLength = lengthText.isEmpty() ? 0 : lengthText.toLongLong(&lengthOk);
    if (!lengthOk || bodyLength < 0)
        return Error::BadLength;
    if (bodyLength > bodyLimit)
        return Error::BodyTooLarge;
    frameBytes = headerEnd + kHeaderEnd.size() + qsizetype(bodyLength);
    pending = std::move(request);
    return Error::None;
}

HttpRequestParser::Result HttpRequestParser::fail(Error error)
{
    failure = error;
    Result result;
    result.status = Status::Failed;
    result.error = error;
    return result;
}

int HttpRequestParser::httpStatus(Error error)
{
    switch (error) {
    case Error::None:
        return 200;
    case Error::HeaderTooLarge:
        return 431;
    case Error::BadRequestLine:
    case Error::BadLength:
    case Error::BadLineEnding:
    case Error::ConflictingLengths:
        return 400;
    case Error::UnsupportedVersion:
        return 505;
    case Error::UnsupportedTransferEncoding:
        return 501;
    case Error::BodyTooLarge:
        return 413;
    }
    return 400;
}

const char *HttpRequestParser::errorName(Error error)
{
    switch (error) {
    case Error::None:
        return "none";
    case Error::HeaderTooLarge:
        return "header too large";
    case Error::BadRequestLine:
        return "bad request line";
    case Error::UnsupportedTransferEncoding:
        return "unsupported transfer encoding";
    case Error::BadLength:
        return "bad length";
    case Error::BodyTooLarge:
        return "body too large";
    case Error::UnsupportedVersion:
        return "unsupported version";
    case Error::BadLineEnding:
        return "bad line ending";
    case Error::ConflictingLengths:
        return "conflicting lengths";
    }
    return "unknown";
}

bool HttpRequestParser::keepAlive(const HttpRequest &request)
{
    const QByteArray connection = request.header("connection").toLower();
    return request.version == "HTTP/1.1" ? connection != "close" : connection == "keep-alive";
}
