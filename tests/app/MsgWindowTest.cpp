#include "app/MsgWindow.h"

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>

#include "res/Resources.h"

namespace {

// Runs the pop-up's timers on a virtual clock in milliseconds.
class VirtualClock {
public:
    class Timer final : public PopupTimer {
    public:
        Timer(VirtualClock &clock, std::function<void()> fire) : clock(clock), fire(std::move(fire))
        {
            clock.timers.push_back(this);
        }
        ~Timer() override { std::erase(clock.timers, this); }
        void start(int periodMs) override
        {
            period = periodMs;
            due = clock.now + periodMs;
            active = true;
        }
        void stop() override { active = false; }
        bool isActive() const override { return active; }

        VirtualClock &clock;
        std::function<void()> fire;
        int period = 0;
        qint64 due = 0;
        bool active = false;
    };

    PopupTimerFactory factory()
    {
        return [this](std::function<void()> fire) { return std::make_unique<Timer>(*this, std::move(fire)); };
    }

    // Fires every timer that falls due up to `until`, in time order, delivering the
    // window's posted calls after each one.
    void advanceTo(qint64 until)
    {
        for (;;) {
            Timer *next = nullptr;
            for (Timer *timer : timers)
                if (timer->active && timer->due <= until && (!next || timer->due < next->due))
                    next = timer;
            if (!next)
                break;
            now = next->due;
            next->due += next->period;
            next->fire();
            QCoreApplication::sendPostedEvents();
        }
        now = until;
    }

    qint64 now = 0;
    std::vector<Timer *> timers;
};

void sendMouse(QWidget &widget, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons = Qt::NoButton)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event{type, QPointF(pos), widget.mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier};
    QApplication::sendEvent(&widget, &event);
}

void enter(QWidget &widget, QPoint pos = {100, 100})
{
    QEnterEvent event{QPointF(pos), QPointF(pos), widget.mapToGlobal(QPointF(pos))};
    QApplication::sendEvent(&widget, &event);
}

void leave(QWidget &widget)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&widget, &event);
}

// Delivers posted clicks and closes and the deletions they cause.
// A click posts the item, the item posts the close, the close posts the deletion.
void settle()
{
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

class MsgWindowTest : public ::testing::Test {
protected:
    // A skinned pop-up with its texts, placed in the corner of `area`; shown unless told not to.
    CMsgWindow *makePopup(bool show = true)
    {
        auto *popup = new CMsgWindow(clock.factory());
        popup->SetSkin(res::popupSkin());
        EXPECT_TRUE(popup->CreatePopup(nullptr));
        EXPECT_TRUE(popup->SetMessage(QStringLiteral("更新的网址:\r\nhttp://a.com"),
                                      {QStringLiteral("http://a.com"), QStringLiteral("http://b.com")}));
        popup->setWorkAreaSource([this] { return area; });
        popup->setShowChangedHandler([this](const QStringList &urls) { delivered.push_back(urls); });
        popup->placeAtCorner(area);
        if (show)
            popup->show();
        popups.emplace_back(popup);
        return popup;
    }

    void TearDown() override
    {
        for (const QPointer<CMsgWindow> &popup : popups)
            delete popup.data();
        settle();
    }

    void click(CMsgWindow &popup, int item)
    {
        const QPoint at = popup.itemRect(item).center();
        sendMouse(popup, QEvent::MouseButtonPress, at, Qt::LeftButton);
        sendMouse(popup, QEvent::MouseButtonRelease, at);
    }

    VirtualClock clock;
    QRect area{0, 0, 1280, 984};
    std::vector<QPointer<CMsgWindow>> popups;
    std::vector<QStringList> delivered;
};

TEST_F(MsgWindowTest, IsAFramelessTopmostToolWindowInTheCornerOfTheWorkArea)
{
    area = QRect(40, 30, 1000, 700);
    CMsgWindow *popup = makePopup();
    EXPECT_TRUE(popup->isWindow());
    const Qt::WindowFlags flags = popup->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    // Its closing never counts as the program's last window closing (the main window may be in the tray).
    EXPECT_FALSE(popup->testAttribute(Qt::WA_QuitOnClose));
    EXPECT_EQ(popup->geometry(), QRect(40 + 1000 - 250, 30 + 700 - 180, 250, 180));
    EXPECT_EQ(popup->windowTitle(), QStringLiteral("Vorlant-高阶版"));
    // The rounded region cuts the outermost corner pixel and keeps the edges.
    EXPECT_FALSE(popup->mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(popup->mask().contains(QPoint(125, 0)));
    EXPECT_TRUE(popup->mask().contains(QPoint(125, 90)));
    EXPECT_EQ(popup->itemText(CMsgWindow::HeadlineItem), QStringLiteral("你监控的网址广告有更新"));
    EXPECT_EQ(popup->urlList(),
              QStringList({QStringLiteral("http://a.com"), QStringLiteral("http://b.com")}));
}

TEST_F(MsgWindowTest, CreateOnceAndMessageOnlyAfterCreate)
{
    auto *popup = new CMsgWindow(clock.factory());
    popups.emplace_back(popup);
    EXPECT_FALSE(popup->SetMessage(QStringLiteral("x"), {}));
    EXPECT_TRUE(popup->CreatePopup(nullptr));
    EXPECT_FALSE(popup->CreatePopup(nullptr));
    EXPECT_TRUE(popup->SetMessage(QStringLiteral("x"), {}));
}

TEST_F(MsgWindowTest, WithoutThePointerItSlidesAfterTenSecondsAndIsGoneAfterFortySevenSteps)
{
    QPointer<CMsgWindow> popup = makePopup();
    clock.advanceTo(9'999);
    EXPECT_FALSE(popup->closing());
    clock.advanceTo(10'000);
    EXPECT_TRUE(popup->closing());
    EXPECT_FALSE(popup->countdownRunning());
    clock.advanceTo(10'000 + 20);
    EXPECT_EQ(popup->slideHeight(), 176);
    EXPECT_EQ(popup->geometry(), QRect(1280 - 250, 984 - 176, 250, 176));
    clock.advanceTo(10'000 + 46 * 20);
    ASSERT_FALSE(popup.isNull());
    EXPECT_EQ(popup->slideHeight(), -4);
    EXPECT_FALSE(popup->isVisible()) << "nothing is left to show";
    clock.advanceTo(10'000 + 47 * 20);
    settle();
    EXPECT_TRUE(popup.isNull());
}

TEST_F(MsgWindowTest, HoverStopsTheCountdownAndLeavingRestartsItInFull)
{
    QPointer<CMsgWindow> popup = makePopup();
    clock.advanceTo(9'000);
    enter(*popup);
    EXPECT_FALSE(popup->countdownRunning());
    clock.advanceTo(20'000);
    EXPECT_FALSE(popup->closing());
    leave(*popup);
    EXPECT_TRUE(popup->countdownRunning());
    clock.advanceTo(29'999);
    EXPECT_FALSE(popup->closing());
    clock.advanceTo(30'000);
    EXPECT_TRUE(popup->closing());
}

TEST_F(MsgWindowTest, HoverDuringTheSlideDoesNotStopIt)
{
    QPointer<CMsgWindow> popup = makePopup();
    clock.advanceTo(10'100);
    ASSERT_TRUE(popup->closing());
    enter(*popup);
    EXPECT_TRUE(popup->slideRunning());
    leave(*popup);
    EXPECT_FALSE(popup->countdownRunning()) << "the countdown is over once sliding";
    clock.advanceTo(12'000);
    settle();
    EXPECT_TRUE(popup.isNull());
}

TEST_F(MsgWindowTest, CloseButtonClosesOnlyWhenReleasedOnIt)
{
    QPointer<CMsgWindow> popup = makePopup();
    const QPoint close = popup->itemRect(CMsgWindow::CloseItem).center();
    sendMouse(*popup, QEvent::MouseButtonPress, close, Qt::LeftButton);
    EXPECT_EQ(popup->pressedItem(), CMsgWindow::CloseItem);
    sendMouse(*popup, QEvent::MouseMove, {20, 100}, Qt::LeftButton);
    sendMouse(*popup, QEvent::MouseButtonRelease, {20, 100});
    settle();
    ASSERT_FALSE(popup.isNull()) << "released elsewhere";
    EXPECT_EQ(popup->pressedItem(), -1);
    EXPECT_TRUE(delivered.empty());

    click(*popup, CMsgWindow::CloseItem);
    settle();
    EXPECT_TRUE(popup.isNull());
}

TEST_F(MsgWindowTest, CloseButtonClosesWhileSliding)
{
    QPointer<CMsgWindow> popup = makePopup();
    clock.advanceTo(10'200);
    ASSERT_TRUE(popup->slideRunning());
    click(*popup, CMsgWindow::CloseItem);
    settle();
    EXPECT_TRUE(popup.isNull());
}

TEST_F(MsgWindowTest, ViewHeadlineAndBodyHandOverTheAddressesAndStayOpen)
{
    struct Case {
        const char *name;
        int item;
    };
    for (const Case &c : {Case{"view", CMsgWindow::ViewItem}, Case{"headline", CMsgWindow::HeadlineItem},
                          Case{"body", CMsgWindow::BodyItem}}) {
        SCOPED_TRACE(c.name);
        delivered.clear();
        QPointer<CMsgWindow> popup = makePopup();
        enter(*popup);
        click(*popup, c.item);
        EXPECT_TRUE(delivered.empty()) << "the click is posted, not handled inside the release";
        settle();
        ASSERT_FALSE(popup.isNull());
        ASSERT_EQ(delivered.size(), 1u);
        EXPECT_EQ(delivered[0],
                  QStringList({QStringLiteral("http://a.com"), QStringLiteral("http://b.com")}));
        EXPECT_FALSE(popup->countdownRunning());
        leave(*popup);
        EXPECT_TRUE(popup->countdownRunning()) << "the countdown restarts when the pointer leaves";
    }
}

TEST_F(MsgWindowTest, HitTestingSetsTheHotItemAndTheCursor)
{
    struct Case {
        const char *name;
        QPoint at;
        int hot;
        Qt::CursorShape cursor;
    };
    CMsgWindow *popup = makePopup();
    for (const Case &c : {Case{"close", {230, 10}, CMsgWindow::CloseItem, Qt::ArrowCursor},
                          Case{"view", {220, 165}, CMsgWindow::ViewItem, Qt::PointingHandCursor},
                          Case{"headline", {125, 36}, CMsgWindow::HeadlineItem, Qt::PointingHandCursor},
                          Case{"body", {20, 100}, CMsgWindow::BodyItem, Qt::PointingHandCursor},
                          Case{"caption", {60, 10}, -1, Qt::ArrowCursor},
                          Case{"between body and view", {20, 150}, -1, Qt::ArrowCursor}}) {
        SCOPED_TRACE(c.name);
        sendMouse(*popup, QEvent::MouseMove, c.at);
        EXPECT_EQ(popup->hotItem(), c.hot);
        EXPECT_EQ(popup->cursor().shape(), c.cursor);
    }
    leave(*popup);
    EXPECT_EQ(popup->hotItem(), -1);
}

TEST_F(MsgWindowTest, BackBufferHasTransparentCornersAndTheHotHeadlineColour)
{
    CMsgWindow *popup = makePopup();
    const QImage &buffer = popup->backBuffer();
    ASSERT_EQ(buffer.size(), QSize(250, 180));
    for (const QPoint corner : {QPoint(0, 0), QPoint(249, 0), QPoint(0, 179), QPoint(249, 179)})
        EXPECT_EQ(qAlpha(buffer.pixel(corner)), 0) << corner.x() << "," << corner.y();
    EXPECT_EQ(qAlpha(buffer.pixel(125, 90)), 255) << "the middle is opaque";
    for (int y = 0; y < buffer.height(); ++y)
        for (int x = 0; x < buffer.width(); ++x)
            ASSERT_NE(buffer.pixel(x, y) & 0xFFFFFF, 0xFF00FFu) << "magenta left at " << x << "," << y;

    const QRect headline = popup->itemRect(CMsgWindow::HeadlineItem);
    auto countColour = [&](const QColor &colour) {
        int count = 0;
        for (int y = headline.top(); y <= headline.bottom(); ++y)
            for (int x = headline.left(); x <= headline.right(); ++x)
                count += QColor(buffer.pixel(x, y)).rgb() == colour.rgb();
        return count;
    };
    EXPECT_GT(countColour(CMsgWindow::TextColor), 0);
    EXPECT_EQ(countColour(CMsgWindow::HotTextColor), 0);
    sendMouse(*popup, QEvent::MouseMove, headline.center());
    EXPECT_GT(countColour(CMsgWindow::HotTextColor), 0);
    EXPECT_EQ(countColour(CMsgWindow::TextColor), 0);

    // The pressed close button is copied from the third cell of its row, the hot one from the second.
    const QImage skin = res::popupSkin();
    const QRect close = popup->itemRect(CMsgWindow::CloseItem);
    const QPoint inButton = close.topLeft() + QPoint(12, 3);
    sendMouse(*popup, QEvent::MouseMove, inButton);
    EXPECT_EQ(QColor(popup->backBuffer().pixel(inButton)).rgb(), QColor(skin.pixel(40 + 12, 63)).rgb());
    sendMouse(*popup, QEvent::MouseButtonPress, inButton, Qt::LeftButton);
    EXPECT_EQ(QColor(popup->backBuffer().pixel(inButton)).rgb(), QColor(skin.pixel(80 + 12, 63)).rgb());
}

TEST_F(MsgWindowTest, TextIsDrawnAsPlainText)
{
    // Neither markup nor '&' prefixes are interpreted: each pair renders differently.
    CMsgWindow *popup = makePopup();
    auto bodyImage = [&](const QString &text) {
        popup->SetMessage(text, {});
        return popup->backBuffer().copy(popup->itemRect(CMsgWindow::BodyItem));
    };
    EXPECT_NE(bodyImage(QStringLiteral("<b>x</b>")), bodyImage(QStringLiteral("x")));
    EXPECT_NE(bodyImage(QStringLiteral("&&a")), bodyImage(QStringLiteral("&a")));
    EXPECT_NE(bodyImage(QStringLiteral("&amp;")), bodyImage(QStringLiteral("&")));
}

TEST_F(MsgWindowTest, TwoPopupsLiveAtTheSameCornerAndCloseIndependently)
{
    QPointer<CMsgWindow> first = makePopup();
    clock.advanceTo(5'000);
    QPointer<CMsgWindow> second = makePopup();
    EXPECT_EQ(first->geometry(), second->geometry());
    clock.advanceTo(10'000 + 47 * 20);
    settle();
    EXPECT_TRUE(first.isNull());
    ASSERT_FALSE(second.isNull());
    EXPECT_FALSE(second->closing()) << "its own countdown runs until 15 s";
    clock.advanceTo(15'000 + 47 * 20);
    settle();
    EXPECT_TRUE(second.isNull());
}

TEST_F(MsgWindowTest, NeverShownPopupStillCountsDownAndFreesItself)
{
    QPointer<CMsgWindow> popup = makePopup(false);
    clock.advanceTo(10'000 + 47 * 20);
    settle();
    EXPECT_TRUE(popup.isNull());
}

TEST_F(MsgWindowTest, WithoutSkinNothingIsRendered)
{
    auto *popup = new CMsgWindow(clock.factory());
    popups.emplace_back(popup);
    ASSERT_TRUE(popup->CreatePopup(nullptr));
    popup->SetMessage(QStringLiteral("x"), {});
    popup->show();
    EXPECT_TRUE(popup->backBuffer().isNull());
    popup->SetSkin(QImage());
    EXPECT_TRUE(popup->backBuffer().isNull());
}

} // namespace
