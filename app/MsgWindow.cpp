#include "app/MsgWindow.h"

#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTextOption>
#include <QTimer>

#include "platform/Services.h"
#include "res/Resources.h"

namespace {

const QString kCaption = QStringLiteral("Vorlant-高阶版");
const QString kHeadline = QStringLiteral("你监控的网址广告有更新");
const QRgb kTransparentKey = qRgb(255, 0, 255);

// Skin layout: the 80 x 60 frame with its corner sizes and middle band, then the
// button rows with their states side by side.
constexpr int kFrameWidth = 80;
constexpr int kFrameHeight = 60;
constexpr int kCornerWidth = 35;
constexpr int kTopHeight = 25;
constexpr int kBottomHeight = 30;
constexpr int kCloseRow = 60;
constexpr int kViewRow = 80;

class QtPopupTimer final : public PopupTimer {
public:
    explicit QtPopupTimer(std::function<void()> fire)
    {
        QObject::connect(&timer, &QTimer::timeout, std::move(fire));
    }
    void start(int periodMs) override { timer.start(periodMs); }
    void stop() override { timer.stop(); }
    bool isActive() const override { return timer.isActive(); }

private:
    QTimer timer;
};

QImage withTransparentKey(const QImage &skin)
{
    QImage out = skin.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if ((line[x] & 0xFFFFFF) == (kTransparentKey & 0xFFFFFF))
                line[x] = 0;
    }
    return out;
}

// The window's region: a rectangle one pixel larger than the window with 5 x 5 corner ellipses.
QRegion roundedRegion()
{
    QBitmap bits(CMsgWindow::kWidth + 1, CMsgWindow::kHeight + 1);
    bits.clear();
    QPainter painter(&bits);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::color1);
    painter.drawRoundedRect(QRectF(0, 0, CMsgWindow::kWidth + 1, CMsgWindow::kHeight + 1), 2.5, 2.5);
    painter.end();
    return QRegion(bits);
}

// Icon 128 at 16 x 16, drawn once for all pop-ups.
const QImage &smallProgramIcon()
{
    static const QImage icon = res::drawAppIcon(16);
    return icon;
}

} // namespace

const QColor CMsgWindow::HotTextColor = QColor(22, 122, 235);
const QColor CMsgWindow::TextColor = QColor(12, 78, 124);

CMsgWindow::CMsgWindow(PopupTimerFactory timers)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    if (!timers)
        timers = [](std::function<void()> fire) { return std::make_unique<QtPopupTimer>(std::move(fire)); };
    countdown = timers([this] { onCountdown(); });
    slide = timers([this] { onSlideStep(); });
    setAttribute(Qt::WA_DeleteOnClose);
    // The main window may be hidden in the tray: the last pop-up closing must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setMouseTracking(true);
    setCursor(arrowCursor);
    normalFont = QApplication::font();
    boldFont = normalFont;
    boldFont.setWeight(QFont::Bold);
}

CMsgWindow::~CMsgWindow() = default;

void CMsgWindow::SetSkin(const QImage &image)
{
    if (image.isNull())
        return;
    skin = image.convertToFormat(QImage::Format_RGB32);
    skinMasked = withTransparentKey(skin);
    titleColor = Qt::black;
    Refresh();
}

bool CMsgWindow::CreatePopup(QWidget *parent)
{
    if (created)
        return false;
    if (programIcon.isNull())
        programIcon = smallProgramIcon();
    setWindowTitle(kCaption);
    setGeometry(0, 0, kWidth, kHeight);
    items = {
        PopupItem{{}, CloseItem, QRect(210, 1, 40, 18)}, PopupItem{{}, ViewItem, QRect(195, 155, 50, 20)},
        PopupItem{{}, HeadlineItem, QRect(8, 26, 234, 20)}, PopupItem{{}, BodyItem, QRect(8, 51, 234, 94)}};
    setMask(roundedRegion());
    height = kHeight;
    width = kWidth;
    autoCloseOn = true;
    countdown->start(kCountdownMs);
    parentWindow = parent;
    created = true;
    return true;
}

bool CMsgWindow::SetMessage(const QString &text, const QStringList &addresses)
{
    if (!created)
        return false;
    items[HeadlineItem].text = kHeadline;
    items[BodyItem].text = text;
    Refresh();
    urls = addresses;
    return true;
}

void CMsgWindow::placeAtCorner(const QRect &area)
{
    move(area.x() + area.width() - kWidth, area.y() + area.height() - kHeight);
}

bool CMsgWindow::countdownRunning() const
{
    return countdown->isActive();
}

bool CMsgWindow::slideRunning() const
{
    return slide->isActive();
}

QString CMsgWindow::itemText(int index) const
{
    return index >= 0 && index < ItemCount ? items[size_t(index)].text : QString();
}

QRect CMsgWindow::itemRect(int index) const
{
    return index >= 0 && index < ItemCount ? items[size_t(index)].rect : QRect();
}

void CMsgWindow::Refresh()
{
    render();
    if (isVisible())
        update();
}

void CMsgWindow::render()
{
    if (skin.isNull())
        return;
    if (buffer.isNull()) {
        buffer = QImage(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    }
    buffer.fill(Qt::transparent);
    QPainter painter(&buffer);
    drawFrame(painter);

    int captionLeft = 8;
    if (!programIcon.isNull()) {
        painter.drawImage(QRect(8, 5, 16, 16), programIcon);
        captionLeft = 33;
    }
    const QRect captionRect(QPoint(captionLeft, 5), QPoint(kWidth - 50 - 1, 21 - 1));
    painter.setFont(normalFont);
    painter.setPen(titleColor);
    painter.drawText(captionRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QFontMetrics(normalFont).elidedText(windowTitle(), Qt::ElideRight, captionRect.width()));

    for (const int index : {int(CloseItem), int(ViewItem)}) {
        const PopupItem &item = items[size_t(index)];
        if (item.index < 0)
            continue;
        const int state = index == pressed ? 2 : index == hot ? 1 : 0;
        const int row = index == CloseItem ? kCloseRow : kViewRow;
        painter.drawImage(item.rect.topLeft(), skin,
                          QRect(state * item.rect.width(), row, item.rect.width(), item.rect.height()));
    }

    const PopupItem &headline = items[HeadlineItem];
    if (!headline.text.isEmpty()) {
        painter.setFont(boldFont);
        painter.setPen(hot == HeadlineItem ? HotTextColor : TextColor);
        painter.drawText(
            headline.rect, Qt::AlignCenter | Qt::TextSingleLine,
            QFontMetrics(boldFont).elidedText(headline.text, Qt::ElideRight, headline.rect.width()));
    }
    const PopupItem &body = items[BodyItem];
    if (!body.text.isEmpty()) {
        painter.setFont(normalFont);
        painter.setPen(hot == BodyItem ? HotTextColor : TextColor);
        QTextOption option(Qt::AlignLeft | Qt::AlignTop);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        painter.save();
        painter.setClipRect(body.rect);
        QString text = body.text;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        painter.drawText(QRectF(body.rect), text, option);
        painter.restore();
    }
}

// Nine pieces: the corners unscaled with the transparent key, the edges and the middle
// stretched and opaque.
void CMsgWindow::drawFrame(QPainter &painter)
{
    const int w = kWidth;
    const int h = kHeight;
    const int midSrcW = kFrameWidth - 2 * kCornerWidth;
    const int midSrcH = kFrameHeight - kTopHeight - kBottomHeight;
    const int midW = w - 2 * kCornerWidth;
    const int midH = h - kTopHeight - kBottomHeight;
    const int rightSrc = kFrameWidth - kCornerWidth;
    const int bottomSrc = kFrameHeight - kBottomHeight;
    const int right = w - kCornerWidth;
    const int bottom = h - kBottomHeight;

    painter.drawImage(QPoint(0, 0), skinMasked, QRect(0, 0, kCornerWidth, kTopHeight));
    painter.drawImage(QPoint(right, 0), skinMasked, QRect(rightSrc, 0, kCornerWidth, kTopHeight));
    painter.drawImage(QPoint(0, bottom), skinMasked, QRect(0, bottomSrc, kCornerWidth, kBottomHeight));
    painter.drawImage(QPoint(right, bottom), skinMasked,
                      QRect(rightSrc, bottomSrc, kCornerWidth, kBottomHeight));

    painter.drawImage(QRect(kCornerWidth, 0, midW, kTopHeight), skin,
                      QRect(kCornerWidth, 0, midSrcW, kTopHeight));
    painter.drawImage(QRect(kCornerWidth, bottom, midW, kBottomHeight), skin,
                      QRect(kCornerWidth, bottomSrc, midSrcW, kBottomHeight));
    painter.drawImage(QRect(0, kTopHeight, kCornerWidth, midH), skin,
                      QRect(0, kTopHeight, kCornerWidth, midSrcH));
    painter.drawImage(QRect(right, kTopHeight, kCornerWidth, midH), skin,
                      QRect(rightSrc, kTopHeight, kCornerWidth, midSrcH));
    painter.drawImage(QRect(kCornerWidth, kTopHeight, midW, midH), skin,
                      QRect(kCornerWidth, kTopHeight, midSrcW, midSrcH));
}

int CMsgWindow::hitTest(const QPoint &pos) const
{
    for (const PopupItem &item : items)
        if (item.index >= 0 && item.rect.contains(pos))
            return item.index;
    return -1;
}

void CMsgWindow::paintEvent(QPaintEvent *event)
{
    if (buffer.isNull())
        render();
    if (buffer.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(event->rect(), buffer, event->rect());
}

void CMsgWindow::setHotItem(int item)
{
    if (item == hot)
        return;
    hot = item;
    Refresh();
    setCursor(item == ViewItem || item == HeadlineItem || item == BodyItem ? handCursor : arrowCursor);
}

void CMsgWindow::mouseMoveEvent(QMouseEvent *event)
{
    setHotItem(hitTest(event->position().toPoint()));
}

void CMsgWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int item = hitTest(event->position().toPoint());
    if (item != pressed) {
        pressed = item;
        Refresh();
    }
}

void CMsgWindow::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || pressed == -1)
        return;
    const int item = hitTest(event->position().toPoint());
    if (item == pressed)
        QMetaObject::invokeMethod(
            this, [this, item] { onItemClicked(item); }, Qt::QueuedConnection);
    pressed = -1;
    Refresh();
}

void CMsgWindow::enterEvent(QEnterEvent *)
{
    if (autoCloseOn && !closingOn)
        countdown->stop();
}

void CMsgWindow::leaveEvent(QEvent *)
{
    if (hot != -1 || pressed != -1) {
        hot = -1;
        pressed = -1;
        Refresh();
        setCursor(arrowCursor);
    }
    if (autoCloseOn && !closingOn)
        countdown->start(kCountdownMs);
}

void CMsgWindow::closeEvent(QCloseEvent *event)
{
    countdown->stop();
    slide->stop();
    event->accept();
    deleteLater();
}

void CMsgWindow::onItemClicked(int item)
{
    if (item < 0 || item >= ItemCount)
        return;
    if (item == CloseItem) {
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    if (showChanged) {
        const QStringList list = urls; // stays valid even if the handler closes this window
        showChanged(list);
    }
}

void CMsgWindow::onCountdown()
{
    countdown->stop();
    slide->start(kSlideStepMs);
    closingOn = true;
}

void CMsgWindow::onSlideStep()
{
    const QRect area = currentWorkArea();
    if (height < 0) {
        slide->stop();
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    height -= kSlidePixels;
    const int shown = std::max(height, 0);
    const bool wasVisible = isVisible();
    setGeometry(area.x() + area.width() - kWidth, area.y() + area.height() - height, kWidth,
                std::max(shown, 1));
    if (wasVisible && shown == 0)
        hide();
}

QRect CMsgWindow::currentWorkArea() const
{
    if (workAreaSource)
        return workAreaSource();
    return platform::currentServices().desktop->workAreaOf(parentWindow.data());
}
