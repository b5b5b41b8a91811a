#include <gtest/gtest.h>

#include <QList>

#include <algorithm>
#include <string>

#include "service/web/HttpRequestParser.h"
#include "service/web/HttpServer.h"

namespace {

using Error = HttpRequestParser::Error;
using Status = HttpRequestParser::Status;

struct Limits {
    int header = HttpRequestParser::kMaxHeaderBytes;
    int body = HttpRequestParser::kMaxBodyBytes;
};

// The server's limits, and small ones, so that streams at and past them can be cut at every offset.
constexpr Limits kServer{};
constexpr Limits kSmall{64, 16};

// What a parser made of a whole stream: the requests in order, then either a
// failure or the bytes still waiting.
struct Outcome {
    QList<HttpRequestParser::Result> requests;
    Error error = Error::None;
    qsizetype buffered = 0;
};

// Feeds the stream in pieces ending at the given offsets (and at its end),
// taking every request out as soon as the parser has one, the way the
// connection does; stops at a failure, as the connection closes then.
Outcome parseInPieces(const QByteArray &stream, QList<qsizetype> cuts, Limits limits)
{
    HttpRequestParser parser(limits.header, limits.body);
    Outcome outcome;
    cuts.append(stream.size());
    qsizetype from = 0;
    for (const qsizetype cut : cuts) {
        parser.feed(QByteArrayView(stream).sliced(from, cut - from));
        from = cut;
        for (;;) {
            HttpRequestParser::Result result = parser.next();
            if (result.status == Status::NeedMore)
                break;
            if (result.status == Status::Failed) {
                EXPECT_NE(result.error, Error::None);
                outcome.error = result.error;
                return outcome;
            }
            EXPECT_EQ(result.error, Error::None);
            outcome.requests.append(std::move(result));
        }
    }
    outcome.buffered = parser.buffered();
    return outcome;
}

Outcome parseWhole(const QByteArray &stream, Limits limits = {})
{
    return parseInPieces(stream, {}, limits);
}

// Everything the parser yields, as one comparable text.
std::string describe(const Outcome &outcome)
{
    QByteArray text;
    for (const HttpRequestParser::Result &r : outcome.requests) {
        text += r.request.method + ' ' + r.request.path + " ?" + r.request.query + ' ' + r.request.version;
        QList<QByteArray> names = r.request.headers.keys();
        std::sort(names.begin(), names.end());
        for (const QByteArray &name : names)
            text += " [" + name + "=" + r.request.headers.value(name) + ']';
        text += " took " + QByteArray::number(r.consumed) + '\n';
    }
    text += outcome.error == Error::None
                ? "waiting " + QByteArray::number(outcome.buffered)
                : QByteArray("failed: ") + HttpRequestParser::errorName(outcome.error);
    return text.toStdString();
}

// The stream parsed in two pieces cut at every offset, and byte by byte,
// gives what it gives in one piece.
void expectSameAtEveryCut(const QByteArray &stream, Limits limits)
{
    const std::string whole = describe(parseWhole(stream, limits));
    for (qsizetype cut = 0; cut <= stream.size(); ++cut)
        ASSERT_EQ(describe(parseInPieces(stream, {cut}, limits)), whole) << "cut at byte " << cut;
    QList<qsizetype> everyByte;
    for (qsizetype i = 1; i < stream.size(); ++i)
        everyByte.append(i);
    EXPECT_EQ(describe(parseInPieces(stream, everyByte, limits)), whole) << "byte by byte";
}

QByteArray headerBlockOf(qsizetype bytes)
{
    const QByteArray start = "GET /";
    const QByteArray end = " HTTP/1.1";
    return start + QByteArray(bytes - start.size() - end.size(), 'a') + end;
}

QByteArray headerWithLength(qsizetype length)
{
    return "GET / HTTP/1.1\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n";
}

const QByteArray kPlain = "GET /a?x=1 HTTP/1.1\r\nHost: x\r\n\r\n";
const QByteArray kWithBody = "GET /b HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello";

TEST(HttpRequestParserTest, ReadsRequestLineAndHeaders)
{
    const Outcome o =
        parseWhole("GET /p/q.html?a=1&b=%D6 HTTP/1.0\r\nHost: example\r\nX-Mixed-Case:   spaced value  \r\n"
                   "no colon here\r\n: no name\r\n\r\n");
    ASSERT_EQ(o.requests.size(), 1) << describe(o);
    const HttpRequest &r = o.requests[0].request;
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.path, "/p/q.html");
    EXPECT_EQ(r.query, "a=1&b=%D6");
    EXPECT_EQ(r.version, "HTTP/1.0");
    EXPECT_EQ(r.header("host"), "example");
    EXPECT_EQ(r.header("x-mixed-case"), "spaced value");
    EXPECT_EQ(r.headers.size(), 2) << describe(o);
    EXPECT_EQ(o.buffered, 0);
}

TEST(HttpRequestParserTest, TargetIsCutIntoPathAndQuery)
{
    struct Case {
        const char *name;
        QByteArray target;
        QByteArray path;
        QByteArray query;
    };
    const Case cases[] = {
        {"Origin form", "/a/b?c=d", "/a/b", "c=d"},
        {"No query", "/a", "/a", ""},
        {"Empty query", "/a?", "/a", ""},
        {"Second question mark stays in the query", "/a?b?c", "/a", "b?c"},
        {"Absolute http", "http://host:8080/x?y=1", "/x", "y=1"},
        {"Absolute https", "https://host/x", "/x", ""},
        {"Absolute without path", "http://host", "/", ""},
        {"Raw GBK bytes kept", "/a?n=\xC4\xE3", "/a", "n=\xC4\xE3"},
    };
    for (const Case &c : cases) {
        const Outcome o = parseWhole("GET " + c.target + " HTTP/1.1\r\n\r\n");
        ASSERT_EQ(o.requests.size(), 1) << c.name << ": " << describe(o);
        EXPECT_EQ(o.requests[0].request.path, c.path) << c.name;
        EXPECT_EQ(o.requests[0].request.query, c.query) << c.name;
    }
}

TEST(HttpRequestParserTest, BodyIsSkippedAndPipelinedRequestsComeOutInTurn)
{
    const QByteArray third = "HEAD /c HTTP/1.1\r\nConn";
    const Outcome o = parseWhole(kWithBody + kPlain + third);
    ASSERT_EQ(o.requests.size(), 2) << describe(o);
    EXPECT_EQ(o.requests[0].request.path, "/b");
    EXPECT_EQ(o.requests[0].consumed, kWithBody.size());
    EXPECT_EQ(o.requests[1].request.path, "/a");
    EXPECT_EQ(o.requests[1].consumed, kPlain.size());
    EXPECT_EQ(o.buffered, third.size());
}

TEST(HttpRequestParserTest, LimitsAreTheServers)
{
    EXPECT_EQ(HttpServer::kMaxHeaderBytes, HttpRequestParser::kMaxHeaderBytes);
    EXPECT_EQ(HttpServer::kMaxBodyBytes, HttpRequestParser::kMaxBodyBytes);
    // At the limits themselves, with the default parser.
    EXPECT_EQ(parseWhole(headerBlockOf(HttpServer::kMaxHeaderBytes) + "\r\n\r\n").requests.size(), 1);
    const QByteArray fullBody =
        headerWithLength(HttpServer::kMaxBodyBytes) + QByteArray(HttpServer::kMaxBodyBytes, 'b');
    const Outcome o = parseWhole(fullBody);
    ASSERT_EQ(o.requests.size(), 1) << describe(o);
    EXPECT_EQ(o.requests[0].consumed, fullBody.size());
}

struct StreamCase {
    const char *name;
    QByteArray stream;
    Limits limits;
    int requests;     // complete requests before the end or the failure
    Error error;      // None: the stream ends waiting for more
    int status = 200; // what the connection answers the failure with
};

void PrintTo(const StreamCase &c, std::ostream *os)
{
    *os << c.name;
}

class HttpRequestParserStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(HttpRequestParserStream, GivesTheSameAtEveryCut)
{
    const StreamCase &c = GetParam();
    const Outcome whole = parseWhole(c.stream, c.limits);
    EXPECT_EQ(whole.requests.size(), c.requests) << describe(whole);
    EXPECT_EQ(whole.error, c.error) << describe(whole);
    if (c.error != Error::None) {
        EXPECT_EQ(HttpRequestParser::httpStatus(whole.error), c.status);
    }
    expectSameAtEveryCut(c.stream, c.limits);
}

INSTANTIATE_TEST_SUITE_P(
    Valid, HttpRequestParserStream,
    ::testing::Values(
        StreamCase{"Plain", kPlain, kServer, 1, Error::None},
        StreamCase{"WithBody", kWithBody, kServer, 1, Error::None},
        StreamCase{"PipelinedPair", kWithBody + kPlain, kServer, 2, Error::None},
        StreamCase{"PipelinedPairReversed", kPlain + kWithBody, kServer, 2, Error::None},
        StreamCase{"PairThenAPartOfAThird", kPlain + kWithBody + "GET /c HT", kServer, 2, Error::None},
        StreamCase{"BodyNotAllThere", "GET /b HTTP/1.1\r\nContent-Length: 9\r\n\r\nhalf", kServer, 0,
                   Error::None},
        StreamCase{"SameLengthTwice",
                   "GET / HTTP/1.1\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nok" + kPlain, kServer, 2,
                   Error::None},
        StreamCase{"ZeroLength", "GET / HTTP/1.1\r\nContent-Length: 0\r\n\r\n" + kPlain, kServer, 2,
                   Error::None},
        StreamCase{"HeaderBlockAtLimit", headerBlockOf(kSmall.header) + "\r\n\r\n", kSmall, 1, Error::None},
        StreamCase{"UnendedHeaderBlockThatMayStillFit", QByteArray(kSmall.header + 3, 'a'), kSmall, 0,
                   Error::None},
        StreamCase{"BodyAtLimit", headerWithLength(kSmall.body) + QByteArray(kSmall.body, 'b'), kSmall, 1,
                   Error::None}),
    [](const auto &testInfo) { return std::string(testInfo.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Invalid, HttpRequestParserStream,
    ::testing::Values(
        StreamCase{"NoSpaceInRequestLine", "GARBAGE\r\n\r\n", kServer, 0, Error::BadRequestLine, 400},
        StreamCase{"NoTarget", "GET HTTP/1.1\r\n\r\n", kServer, 0, Error::BadRequestLine, 400},
        StreamCase{"NotHttp", "GET / FTP/1.0\r\n\r\n", kServer, 0, Error::BadRequestLine, 400},
        StreamCase{"VersionNotANumber", "GET / HTTP/x.y\r\n\r\n", kServer, 0, Error::BadRequestLine, 400},
        StreamCase{"UnknownVersion", "GET / HTTP/9.9\r\n\r\n", kServer, 0, Error::UnsupportedVersion, 505},
        StreamCase{"VersionTwo", kPlain + "GET / HTTP/2.0\r\n\r\n", kServer, 1, Error::UnsupportedVersion,
                   505},
        // Refused at the first lone LF or CR, without waiting for a blank line.
        StreamCase{"BareLineFeedsInside", "GET / HTTP/1.1\nHost: x\r\n\r\n", kServer, 0, Error::BadLineEnding,
                   400},
        StreamCase{"OnlyBareLineFeeds", "GET / HTTP/1.1\nHost: x\n\n", kServer, 0, Error::BadLineEnding, 400},
        StreamCase{"UnfinishedBareLineFeed", "GET / HTTP/1.1\nHo", kServer, 0, Error::BadLineEnding, 400},
        StreamCase{"LoneCarriageReturn", "GET / HTTP/1.1\rHost: x\r\n\r\n", kServer, 0, Error::BadLineEnding,
                   400},
        StreamCase{"TwoDifferentLengths",
                   "GET / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 0\r\n\r\nhello", kServer, 0,
                   Error::ConflictingLengths, 400},
        StreamCase{"EmptyLineFirst", "\r\n" + kPlain, kServer, 0, Error::BadRequestLine, 400},
        StreamCase{"BadLineAfterAGoodRequest", kPlain + "HELLO\r\n\r\n" + kPlain, kServer, 1,
                   Error::BadRequestLine, 400},
        StreamCase{"HeaderBlockPastLimit", headerBlockOf(kSmall.header + 1) + "\r\n\r\n", kSmall, 0,
                   Error::HeaderTooLarge, 431},
        StreamCase{"UnendedHeaderBlockPastLimit", QByteArray(kSmall.header + 4, 'a'), kSmall, 0,
                   Error::HeaderTooLarge, 431},
        // Line ends past the limit are not looked at: the block is too long
        // whether or not they have arrived yet.
        StreamCase{"BareLineFeedPastTheLimit", QByteArray(kSmall.header + 4, 'a') + "x\n", kSmall, 0,
                   Error::HeaderTooLarge, 431},
        StreamCase{"LoneCarriageReturnAtTheLimit", QByteArray(kSmall.header + 3, 'a') + "\rx\r\n\r\n", kSmall,
                   0, Error::HeaderTooLarge, 431},
        StreamCase{"HeaderBlockPastServerLimit",
                   headerBlockOf(HttpRequestParser::kMaxHeaderBytes + 1) + "\r\n\r\n", kServer, 0,
                   Error::HeaderTooLarge, 431},
        StreamCase{"Chunked", "GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", kServer, 0,
                   Error::UnsupportedTransferEncoding, 501},
        StreamCase{"LengthNotANumber", "GET / HTTP/1.1\r\nContent-Length: ten\r\n\r\n", kServer, 0,
                   Error::BadLength, 400},
        StreamCase{"LengthWithJunk", "GET / HTTP/1.1\r\nContent-Length: 5x\r\n\r\nhello", kServer, 0,
                   Error::BadLength, 400},
        StreamCase{"NegativeLength", "GET / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", kServer, 0,
                   Error::BadLength, 400},
        StreamCase{"BodyPastLimit", headerWithLength(kSmall.body + 1) + QByteArray(kSmall.body + 1, 'b'),
                   kSmall, 0, Error::BodyTooLarge, 413},
        StreamCase{"BodyPastServerLimit", headerWithLength(HttpRequestParser::kMaxBodyBytes + 1), kServer, 0,
                   Error::BodyTooLarge, 413}),
    [](const auto &testInfo) { return std::string(testInfo.param.name); });

TEST(HttpRequestParserTest, FailureIsFinalUntilCleared)
{
    HttpRequestParser parser;
    parser.feed("BROKEN\r\n\r\n");
    EXPECT_EQ(parser.next().status, Status::Failed);
    parser.feed(kPlain);
    const HttpRequestParser::Result again = parser.next();
    EXPECT_EQ(again.status, Status::Failed);
    EXPECT_EQ(again.error, Error::BadRequestLine);
    parser.clear();
    EXPECT_EQ(parser.buffered(), 0);
    parser.feed(kPlain);
    EXPECT_EQ(parser.next().status, Status::Complete);
}

TEST(HttpRequestParserTest, KeepAliveFollowsVersionAndConnectionHeader)
{
    struct Case {
        const char *name;
        QByteArray version;
        QByteArray connection; // empty: no header
        bool keepAlive;
    };
    const Case cases[] = {
        {"1.1 by default", "HTTP/1.1", "", true},
        {"1.1 close", "HTTP/1.1", "close", false},
        {"1.1 Close", "HTTP/1.1", "Close", false},
        {"1.1 keep-alive", "HTTP/1.1", "keep-alive", true},
        {"1.0 by default", "HTTP/1.0", "", false},
        {"1.0 keep-alive", "HTTP/1.0", "keep-alive", true},
        {"1.0 Keep-Alive", "HTTP/1.0", "Keep-Alive", true},
        {"1.0 close", "HTTP/1.0", "close", false},
    };
    for (const Case &c : cases) {
        const QByteArray header =
            c.connection.isEmpty() ? QByteArray() : "Connection: " + c.connection + "\r\n";
        const Outcome o = parseWhole("GET / " + c.version + "\r\n" + header + "\r\n");
        ASSERT_EQ(o.requests.size(), 1) << c.name;
        EXPECT_EQ(HttpRequestParser::keepAlive(o.requests[0].request), c.keepAlive) << c.name;
    }
}

} // namespace
