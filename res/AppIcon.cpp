#include "res/Resources.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

namespace res {

namespace {

// A kestrel hovering over radar rings, drawn on a 256 x 256 canvas.
QPainterPath kestrel()
{
    QPainterPath bird;
    // Wings, swept up and back like a hovering kestrel's.
    bird.moveTo(128, 104);
    bird.cubicTo(104, 84, 70, 64, 26, 66);
    bird.cubicTo(52, 84, 76, 104, 92, 124);
    bird.cubicTo(104, 134, 116, 138, 128, 140);
    bird.cubicTo(140, 138, 152, 134, 164, 124);
    bird.cubicTo(180, 104, 204, 84, 230, 66);
    bird.cubicTo(186, 64, 152, 84, 128, 104);
    bird.closeSubpath();
    // Body, fanned tail and head, joined so that one outline runs around the whole bird.
    QPainterPath body;
    body.addEllipse(QPointF(128, 132), 15, 40);
    QPolygonF fan;
    fan << QPointF(118, 160) << QPointF(102, 204) << QPointF(128, 214) << QPointF(154, 204)
        << QPointF(138, 160);
    QPainterPath tail;
    tail.addPolygon(fan);
    tail.closeSubpath();
    QPainterPath head;
    head.addEllipse(QPointF(128, 96), 15, 15);
    return bird.united(body).united(tail).united(head);
}

} // namespace

QImage drawAppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    QRadialGradient sky(QPointF(128, 150), 170);
    sky.setColorAt(0, QColor(38, 128, 160));
    sky.setColorAt(1, QColor(12, 48, 78));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);

    // Radar rings and sweep; too fine to read at 16 pixels.
    if (size >= 32) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(120, 220, 235, 150), 7));
        p.drawEllipse(QPointF(128, 150), 92, 92);
        p.setPen(QPen(QColor(120, 220, 235, 110), 6));
        p.drawEllipse(QPointF(128, 150), 56, 56);
        p.setPen(QPen(QColor(160, 240, 250, 180), 6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(128, 150), QPointF(206, 104));
    }

    const QPainterPath bird = kestrel();
    p.setPen(QPen(QColor(92, 38, 12), size >= 32 ? 6 : 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(232, 124, 44));
    p.drawPath(bird);
    // Dark wing tips.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(58, 36, 24));
    p.drawEllipse(QPointF(38, 68), 13, 7);
    p.drawEllipse(QPointF(218, 68), 13, 7);
    // Eye.
    if (size >= 48) {
        p.setBrush(QColor(250, 240, 210));
        p.drawEllipse(QPointF(128, 93), 4, 4);
    }
    return image;
}

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addPixmap(QPixmap::fromImage(drawAppIcon(size)));
    return icon;
}

} // namespace res
