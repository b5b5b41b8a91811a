#include "platform/HyperLink.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

namespace platform {

namespace {

QFont linkFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(15);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(true);
    font.setStrikeOut(false);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace

const QColor HyperLink::TextColour = QColor(0, 0, 255);

HyperLink::HyperLink(const QString &text, const QString &link, QWidget *parent)
    : QWidget(parent), normal(linkFont()), hover(linkFont()), linkText(text), link(link)
{
    setCursor(Qt::PointingHandCursor);
}

void HyperLink::setText(const QString &newText)
{
    linkText = newText;
    updateGeometry();
    update();
}

QSize HyperLink::sizeHint() const
{
    const QFontMetrics metrics(hovering ? hover : normal);
    return QSize(metrics.horizontalAdvance(linkText), metrics.height());
}

QColor HyperLink::parentBackground() const
{
    QWidget *parent = parentWidget();
    if (!parent)
        return palette().color(QPalette::Window);
    // The parent alone, without its children: this control may well sit on that pixel.
    QImage pixel(1, 1, QImage::Format_ARGB32);
    pixel.fill(parent->palette().color(parent->backgroundRole()));
    parent->render(&pixel, QPoint(), QRegion(0, 0, 1, 1), QWidget::DrawWindowBackground);
    return QColor(pixel.pixel(0, 0));
}

void HyperLink::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), parentBackground());
    painter.setFont(hovering ? hover : normal);
    painter.setPen(TextColour);
    const QFontMetrics metrics(painter.font());
    painter.drawText(QPoint(0, metrics.ascent()), linkText);
}

void HyperLink::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    hovering = true;
    if (!tracking) {
        tracking = true;
        repaint();
    }
}

void HyperLink::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    hovering = false;
    tracking = false;
    repaint();
}

void HyperLink::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && !link.isEmpty())
        shellOpen(services(), link);
    QWidget::mousePressEvent(event);
}

} // namespace platform
