#include "res/Resources.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace res {

namespace {

const QColor Transparent(255, 0, 255);

// Frame: light blue gradient, dark blue-grey border, rounded corners; outside is magenta.
void drawFrame(QPainter &p)
{
    const QRectF frame(0.5, 0.5, 79, 59);
    QLinearGradient fill(0, 0, 0, 60);
    fill.setColorAt(0, QColor(222, 238, 252));
    fill.setColorAt(1, QColor(176, 208, 240));
    QPainterPath path;
    path.addRoundedRect(frame, 6, 6);
    p.setPen(QPen(QColor(70, 90, 110), 1));
    p.setBrush(fill);
    p.drawPath(path);
    // Caption band.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(150, 190, 230));
    p.drawRect(QRectF(1, 1, 78, 20));
}

void drawCloseButton(QPainter &p, int x, const QColor &back)
{
    const QRectF box(x + 10.5, 62.5, 22, 13);
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(box, 3, 3);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(x + 17, 65), QPointF(x + 26, 73));
    p.drawLine(QPointF(x + 26, 65), QPointF(x + 17, 73));
}

void drawViewButton(QPainter &p, int x, const QColor &text)
{
    const QRectF box(x + 1.5, 81.5, 47, 17);
    p.setPen(QPen(QColor(110, 140, 170), 1));
    p.setBrush(QColor(236, 244, 252));
    p.drawRoundedRect(box, 3, 3);
    // Magnifier.
    p.setPen(QPen(text, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(x + 10, 88.5), 3.5, 3.5);
    p.drawLine(QPointF(x + 12.5, 91), QPointF(x + 15.5, 94));
    QFont font;
    font.setPixelSize(12);
    p.setFont(font);
    p.setPen(text);
    p.drawText(QRectF(x + 17, 81, 31, 18), Qt::AlignCenter, QStringLiteral("查看"));
}

} // namespace

QImage popupSkin()
{
    QImage image(150, 100, QImage::Format_RGB32);
    image.fill(Transparent);
    QPainter p(&image);
    drawFrame(p);
    // Button cells are copied opaquely onto the caption band and the frame's lower part.
    p.fillRect(QRect(0, 60, 120, 18), QColor(150, 190, 230));
    p.fillRect(QRect(0, 80, 150, 20), QColor(180, 210, 240));
    p.setRenderHint(QPainter::Antialiasing);
    drawCloseButton(p, 0, QColor(60, 120, 200));
    drawCloseButton(p, 40, QColor(235, 90, 40));
    drawCloseButton(p, 80, QColor(150, 20, 20));
    drawViewButton(p, 0, QColor(20, 50, 120));
    drawViewButton(p, 50, QColor(60, 130, 220));
    drawViewButton(p, 100, QColor(60, 130, 220));
    return image;
}

} // namespace res
