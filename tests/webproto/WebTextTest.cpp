#include <gtest/gtest.h>

#include "webproto/WebText.h"

namespace {

const QString kHello = QStringLiteral("\u4f60\u597d"); // GBK C4E3 BAC3

} // namespace

TEST(WebText, GbkBothWays)
{
    EXPECT_EQ(WebText::toAnsi(kHello), QByteArray("\xC4\xE3\xBA\xC3"));
    EXPECT_EQ(WebText::fromAnsi(QByteArray("ok \xC4\xE3\xBA\xC3")), QStringLiteral("ok ") + kHello);
    EXPECT_EQ(WebText::toAnsi(QStringLiteral("plain")), QByteArray("plain"));
    // A lead byte without its trail byte must not swallow or crash.
    EXPECT_TRUE(WebText::fromAnsi(QByteArray("a\xC4")).startsWith(u'a'));
}

struct DigestCase {
    const char *name;
    QString text;
    const char *hex;
};

class Digest : public ::testing::TestWithParam<DigestCase> {};

TEST_P(Digest, Md5OfGbkBytes)
{
    EXPECT_EQ(WebText::Md5Hex(GetParam().text), QLatin1String(GetParam().hex));
}

INSTANTIATE_TEST_SUITE_P(WebText, Digest,
                         ::testing::Values(DigestCase{"Empty", QString(), "d41d8cd98f00b204e9800998ecf8427e"},
                                           DigestCase{"Abc", QStringLiteral("abc"),
                                                      "900150983cd24fb0d6963f7d28e17f72"},
                                           DigestCase{"Chinese", kHello, "b94ae3c6d892b29cf48d9bea819b27b9"},
                                           // 400 bytes: the digest covers the whole text.
                                           DigestCase{"Long", QStringLiteral("\u6d4b\u8bd5").repeated(100),
                                                      "99bfb723f0d5f711356cb355e0f161de"}),
                         [](const auto &info) { return std::string(info.param.name); });

struct SplitCase {
    const char *name;
    QString text;
    QStringList pieces;
};

class Split : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Split, DropsEmptyPieces)
{
    EXPECT_EQ(WebText::SplitText(GetParam().text, u'|'), GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(WebText, Split,
                         ::testing::Values(SplitCase{"SeparatorsEverywhere", "|a||b|", {"a", "b"}},
                                           SplitCase{"NoSeparator", "abc", {"abc"}},
                                           SplitCase{"EmptyText", "", {}},
                                           SplitCase{"OnlySeparators", "|||", {}},
                                           SplitCase{"Blanks", " | ", {" ", " "}}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(WebText, PercentEncodingOfGbkBytes)
{
    EXPECT_EQ(WebText::percentEncode(QStringLiteral("AZaz09-._~")), QByteArray("AZaz09-._~"));
    EXPECT_EQ(WebText::percentEncode(QStringLiteral("a b&c=d#e%f+g/h?")),
              QByteArray("a%20b%26c%3Dd%23e%25f%2Bg%2Fh%3F"));
    EXPECT_EQ(WebText::percentEncode(kHello), QByteArray("%C4%E3%BA%C3"));

    for (const QString &value : {QStringLiteral("a b&c=d#e%f+g"), kHello + QStringLiteral("~%25")})
        EXPECT_EQ(WebText::percentDecode(WebText::percentEncode(value)), value);
    // Raw values pass through decoding as they stand.
    EXPECT_EQ(WebText::percentDecode("a+b"), QStringLiteral("a+b"));
    EXPECT_EQ(WebText::percentDecode("100%"), QStringLiteral("100%"));
    EXPECT_EQ(WebText::percentDecode("%zz%4"), QStringLiteral("%zz%4"));
}
