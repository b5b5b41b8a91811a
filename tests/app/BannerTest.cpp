#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include "app/Banner.h"
#include "service/web/BannerImage.h"
#include "tests/support/CannedHttpServer.h"
#include "tests/support/RecordingServices.h"
#include "tests/support/WaitUntil.h"
#include "webproto/WebText.h"

namespace {

QByteArray reply(const QByteArray &contentType, const QByteArray &body, bool withLength = true)
{
    QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: " + contentType + "\r\nConnection: close\r\n";
    if (withLength)
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return head + "\r\n" + body;
}

const QString kPageText = QStringLiteral("新服开区第一时间提醒");

// A banner on its own against a loopback server of the test.
class BannerFetch : public ::testing::Test {
protected:
    std::unique_ptr<TextBanner> make(TextBanner::Limits limits = {})
    {
        auto banner = std::make_unique<TextBanner>([this] { return fakes.services(); }, limits);
        banner->resize(480, 60);
        return banner;
    }

    QString at(const char *path) const { return server.address() + QLatin1String(path); }

    CannedHttpServer server{[](const QByteArray &target) -> CannedHttpServer::Reply {
        if (target == "/page.html")
            return {reply("text/html; charset=GBK",
                          WebText::toAnsi(QStringLiteral("<table><tr><td><img src=\"pic.png\"></td><td>") +
                                          kPageText + QStringLiteral("</td></tr></table>")))};
        if (target == "/pic.png")
            return {reply("image/png", BannerImage::png())};
        if (target == "/links.html")
            return {reply("text/html; charset=utf-8",
                          "<meta http-equiv=\"refresh\" content=\"0; url=http://127.0.0.1:1/auto\">"
                          "<p><a href=\"http://www.example.com/x\">WEBLINK</a></p>"
                          "<p><a href=\"more.html\">RELLINK</a></p>"
                          "<p><a href=\"file:///etc/passwd\">FILELINK</a></p>"
                          "<p><a href=\"javascript:alert(1)\">JSLINK</a></p>"
                          "<p><a href=\"data:text/html,hi\">DATALINK</a></p>")};
        if (target == "/big.html")
            return {reply("text/html", QByteArray(4096, 'x'))};
        if (target == "/big-unannounced.html")
            return {reply("text/html", QByteArray(4096, 'x'), false)};
        if (target == "/silent.html")
            return CannedHttpServer::silent();
        return CannedHttpServer::withStatus(404, "no");
    }};
    platform::RecordingServices fakes;
};

TEST_F(BannerFetch, RefusesWhatIsNotAWebAddressAndFetchesNothing)
{
    struct Case {
        const char *name;
        QString address;
    };
    const Case cases[] = {
        {"local file", QStringLiteral("file:///etc/passwd")},
        {"script", QStringLiteral("javascript:alert(1)")},
        {"inline data", QStringLiteral("data:text/html,<b>hi</b>")},
        {"other scheme", QStringLiteral("ftp://127.0.0.1/banner.html")},
        {"relative path", QStringLiteral("banner.html")},
        {"no host", QStringLiteral("http://")},
        {"empty", QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto banner = make();
        banner->show();
        EXPECT_FALSE(banner->navigate(c.address));
        EXPECT_TRUE(banner->address().isEmpty());
        EXPECT_EQ(banner->fetchCount(), 0);
        EXPECT_TRUE(banner->toPlainText().isEmpty());
    }
    EXPECT_TRUE(server.targets().isEmpty());
}

TEST_F(BannerFetch, ShowsThePageDecodedAsServedWithItsImageOnceShown)
{
    auto banner = make();
    QSignalSpy images(banner.get(), &TextBanner::imageShown);
    ASSERT_TRUE(banner->navigate(at("/page.html")));
    // Hidden: the address waits for the first show.
    EXPECT_EQ(banner->fetchCount(), 0);
    banner->show();
    ASSERT_TRUE(WaitUntil([&] { return images.count() == 1; }));
    EXPECT_TRUE(banner->toPlainText().contains(kPageText)) << banner->toPlainText().toStdString();
    const QUrl image(at("/pic.png"));
    EXPECT_EQ(images.at(0).at(0).toUrl(), image);
    EXPECT_TRUE(banner->hasImage(image));
    const QImage shown = banner->document()->resource(QTextDocument::ImageResource, image).value<QImage>();
    EXPECT_EQ(shown.size(), QSize(BannerImage::kSide, BannerImage::kSide));
    EXPECT_EQ(server.targets(), (QList<QByteArray>{"/page.html", "/pic.png"}));
}

TEST_F(BannerFetch, DecodesUnderTheCharsetOfTheContentType)
{
    const QString text = QStringLiteral("发布站 Größe");
    struct Case {
        const char *name;
        QByteArray body;
        QByteArray contentType;
    };
    const Case cases[] = {
        {"GBK", WebText::toAnsi(QStringLiteral("发布站")), "text/html; charset=GBK"},
        {"quoted lower-case utf-8", text.toUtf8(), "text/html; charset=\"utf-8\""},
        {"none named: UTF-8", text.toUtf8(), "text/html"},
        {"unknown name: UTF-8", text.toUtf8(), "text/html; charset=no-such-set"},
        {"Latin-1", QStringLiteral("Größe").toLatin1(), "text/html;charset=ISO-8859-1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString decoded = TextBanner::decodeBody(c.body, c.contentType);
        EXPECT_TRUE(text.contains(decoded)) << decoded.toStdString();
        EXPECT_FALSE(decoded.isEmpty());
    }
}

TEST_F(BannerFetch, PageOverTheCapOrTooSlowShowsNothing)
{
    struct Case {
        const char *name;
        const char *path;
    };
    const Case cases[] = {
        {"announced length over the cap", "/big.html"},
        {"unannounced body over the cap", "/big-unannounced.html"},
        {"no answer within the time limit", "/silent.html"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TextBanner::Limits limits;
        limits.maxBytes = 1024;
        limits.timeout = std::chrono::milliseconds(100);
        auto banner = make(limits);
        QSignalSpy failed(banner.get(), &TextBanner::pageFailed);
        QSignalSpy shown(banner.get(), &TextBanner::pageShown);
        banner->show();
        ASSERT_TRUE(banner->navigate(at(c.path)));
        ASSERT_TRUE(WaitUntil([&] { return failed.count() == 1; }));
        EXPECT_EQ(shown.count(), 0);
        EXPECT_TRUE(banner->toPlainText().isEmpty());
    }
}

// Clicks on the middle of a word of the banner as the user would.
void clickOn(TextBanner &banner, const QString &word)
{
    QTextCursor found = banner.document()->find(word);
    ASSERT_FALSE(found.isNull()) << word.toStdString();
    QTextCursor middle(banner.document());
    middle.setPosition(found.selectionStart() + 2);
    const QPoint at = banner.cursorRect(middle).center();
    QTest::mouseClick(banner.viewport(), Qt::LeftButton, {}, at);
}

TEST_F(BannerFetch, OnlyAClickOnAWebLinkOpensIt)
{
    auto banner = make();
    banner->resize(480, 300);
    QSignalSpy shown(banner.get(), &TextBanner::pageShown);
    banner->show();
    ASSERT_TRUE(banner->navigate(at("/links.html")));
    ASSERT_TRUE(WaitUntil([&] { return shown.count() == 1; }));
    // The page by itself opens nothing.
    EXPECT_TRUE(fakes.shell.opened.empty());

    struct Case {
        const char *word;
        QString opened; // empty: nothing
    };
    const Case cases[] = {
        {"WEBLINK", QStringLiteral("http://www.example.com/x")},
        {"RELLINK", at("/more.html")},
        {"FILELINK", QString()},
        {"JSLINK", QString()},
        {"DATALINK", QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.word);
        fakes.shell.opened.clear();
        clickOn(*banner, QString::fromLatin1(c.word));
        if (c.opened.isEmpty()) {
            EXPECT_TRUE(fakes.shell.opened.empty());
        } else {
            ASSERT_EQ(fakes.shell.opened.size(), 1u);
            EXPECT_EQ(fakes.shell.opened.front(), QUrl(c.opened));
        }
    }
    // Clicks on links never move the banner itself.
    EXPECT_EQ(banner->address(), QUrl(at("/links.html")));
    EXPECT_FALSE(server.targets().contains("/auto"));
}

TEST_F(BannerFetch, ANewAddressDropsTheFetchOfTheOldOne)
{
    TextBanner::Limits limits;
    limits.timeout = std::chrono::milliseconds(5000);
    auto banner = make(limits);
    QSignalSpy shown(banner.get(), &TextBanner::pageShown);
    QSignalSpy failed(banner.get(), &TextBanner::pageFailed);
    banner->show();
    ASSERT_TRUE(banner->navigate(at("/silent.html")));
    ASSERT_TRUE(banner->navigate(at("/page.html")));
    ASSERT_TRUE(WaitUntil([&] { return shown.count() == 1; }));
    EXPECT_EQ(shown.at(0).at(0).toUrl(), QUrl(at("/page.html")));
    EXPECT_EQ(failed.count(), 0);
    // Refusing an address empties the banner.
    EXPECT_FALSE(banner->navigate(QStringLiteral("file:///etc/passwd")));
    EXPECT_TRUE(banner->toPlainText().isEmpty());
}

} // namespace
