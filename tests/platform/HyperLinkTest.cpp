#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QImage>
#include <QTest>

#include "platform/HyperLink.h"
#include "tests/support/RecordingServices.h"

using platform::HyperLink;

namespace {

class HyperLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent.resize(200, 60);
        QPalette palette = parent.palette();
        palette.setColor(QPalette::Window, QColor(200, 230, 210));
        parent.setPalette(palette);
        parent.setAutoFillBackground(true);
        link.setServices(fakes.services());
        // On the parent's top-left pixel itself, so that painting must not pick up its own colour.
        link.setGeometry(0, 0, 120, 20);
    }

    QWidget parent;
    HyperLink link{QStringLiteral("Vorlant"), QString(), &parent};
    platform::RecordingServices fakes;
};

TEST_F(HyperLinkTest, ALeftClickOpensOnlyAWebLink)
{
    struct Case {
        const char *name;
        QString link;
        QString opened; // empty: nothing
    };
    const Case cases[] = {
        {"http", QStringLiteral("http://www.example.com/a"), QStringLiteral("http://www.example.com/a")},
        {"https", QStringLiteral("https://www.example.com/"), QStringLiteral("https://www.example.com/")},
        {"bare host", QStringLiteral("www.example.com"), QStringLiteral("http://www.example.com")},
        {"empty", QString(), QString()},
        {"local file", QStringLiteral("file:///etc/passwd"), QString()},
        {"script", QStringLiteral("javascript:alert(1)"), QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fakes.shell.opened.clear();
        link.setLink(c.link);
        QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(5, 5));
        if (c.opened.isEmpty()) {
            EXPECT_TRUE(fakes.shell.opened.empty());
        } else {
            ASSERT_EQ(fakes.shell.opened.size(), 1u);
            EXPECT_EQ(fakes.shell.opened.front(), QUrl(c.opened));
        }
    }
    fakes.shell.opened.clear();
    link.setLink(QStringLiteral("http://www.example.com/a"));
    QTest::mouseClick(&link, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_TRUE(fakes.shell.opened.empty());
}

TEST_F(HyperLinkTest, UnderlinedArialFifteenInBothFonts)
{
    for (const QFont &font : {link.normalFont(), link.hoverFont()}) {
        EXPECT_EQ(font.family(), QStringLiteral("Arial"));
        EXPECT_EQ(font.pixelSize(), 15);
        EXPECT_TRUE(font.underline());
        EXPECT_FALSE(font.italic());
        EXPECT_FALSE(font.strikeOut());
        EXPECT_EQ(font.weight(), QFont::Normal);
    }
}

TEST_F(HyperLinkTest, HoverFollowsTheMouse)
{
    EXPECT_FALSE(link.isHovering());
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&link, &enter);
    EXPECT_TRUE(link.isHovering());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&link, &leave);
    EXPECT_FALSE(link.isHovering());
}

TEST_F(HyperLinkTest, PaintsBlueTextOnTheParentsTopLeftColour)
{
    parent.show();
    const QImage image = link.grab().toImage();
    // The right end lies past the text: only background there.
    EXPECT_EQ(QColor(image.pixel(image.width() - 1, image.height() - 1)), QColor(200, 230, 210));
    int blue = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (QColor(image.pixel(x, y)) == HyperLink::TextColour)
                ++blue;
    EXPECT_GT(blue, 10);
}

} // namespace
