#include "catalog/CatalogIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr qreal kScale = 2.0; // drawn at twice the size, sharp on high-density screens too

QPainterPath Heart(const QRectF& r)
{
    QPainterPath path;
    const qreal w = r.width();
    const qreal h = r.height();
    path.moveTo(r.left() + w / 2, r.top() + h * 0.28);
    path.cubicTo(r.left() + w * 0.38, r.top() - h * 0.02, r.left() - w * 0.04, r.top() + h * 0.12,
                 r.left() + w * 0.04, r.top() + h * 0.42);
    path.cubicTo(r.left() + w * 0.10, r.top() + h * 0.62, r.left() + w * 0.36, r.top() + h * 0.78,
                 r.left() + w / 2, r.bottom());
    path.cubicTo(r.left() + w * 0.64, r.top() + h * 0.78, r.left() + w * 0.90, r.top() + h * 0.62,
                 r.left() + w * 0.96, r.top() + h * 0.42);
    path.cubicTo(r.left() + w * 1.04, r.top() + h * 0.12, r.left() + w * 0.62, r.top() - h * 0.02,
                 r.left() + w / 2, r.top() + h * 0.28);
    return path;
}

void DrawLove(QPainter& p)
{
    QLinearGradient fill(0, 4, 0, 28);
    fill.setColorAt(0, QColor(0xF2, 0x5C, 0x6E));
    fill.setColorAt(1, QColor(0xC4, 0x1E, 0x3A));
    p.setPen(QPen(QColor(0x9E, 0x14, 0x2B), 1.2));
    p.setBrush(fill);
    p.drawPath(Heart(QRectF(3, 5, 26, 23)));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawEllipse(QRectF(8, 9, 5, 4));
}

void DrawParting(QPainter& p)
{
    const QPainterPath heart = Heart(QRectF(3, 5, 26, 23));
    QPainterPath crack;
    crack.moveTo(16, 7);
    crack.lineTo(13, 13);
    crack.lineTo(18, 17);
    crack.lineTo(14, 23);
    crack.lineTo(16, 29);
    QPainterPath leftHalf;
    leftHalf.addRect(QRectF(0, 0, 16, 32));
    QPainterPathStroker stroker;
    stroker.setWidth(2.2);
    const QPainterPath gap = stroker.createStroke(crack);
    p.setPen(QPen(QColor(0x6B, 0x4A, 0x8C), 1.2));
    p.setBrush(QColor(0x9B, 0x7C, 0xC4));
    p.save();
    p.translate(-1.2, 0.6);
    p.drawPath(heart.intersected(leftHalf).subtracted(gap));
    p.restore();
    p.save();
    p.translate(1.2, -0.6);
    p.drawPath(heart.subtracted(leftHalf).subtracted(gap));
    p.restore();
}

void DrawHumor(QPainter& p)
{
    QRadialGradient fill(QPointF(12, 11), 18);
    fill.setColorAt(0, QColor(0xFF, 0xE8, 0x7A));
    fill.setColorAt(1, QColor(0xF5, 0xB3, 0x1B));
    p.setPen(QPen(QColor(0xC2, 0x86, 0x0A), 1.2));
    p.setBrush(fill);
    p.drawEllipse(QRectF(3, 3, 26, 26));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x5A, 0x3B, 0x05));
    p.drawEllipse(QRectF(10, 10, 3.5, 5));
    p.drawEllipse(QRectF(18.5, 10, 3.5, 5));
    QPainterPath smile;
    smile.moveTo(9, 18);
    smile.quadTo(16, 27, 23, 18);
    smile.quadTo(16, 22, 9, 18);
    p.drawPath(smile);
}

void DrawDepression(QPainter& p)
{
    p.setPen(QPen(QColor(0x4F, 0x8A, 0xC9), 1.8, Qt::SolidLine, Qt::RoundCap));
    for (const qreal x : {9.0, 15.0, 21.0}) {
        p.drawLine(QPointF(x, 21), QPointF(x - 2, 27));
    }
    QPainterPath cloud;
    cloud.addEllipse(QRectF(4, 10, 11, 10));
    cloud.addEllipse(QRectF(10, 5, 13, 13));
    cloud.addEllipse(QRectF(18, 10, 10, 9));
    cloud.addRoundedRect(QRectF(6, 13, 20, 7), 3, 3);
    cloud.setFillRule(Qt::WindingFill);
    p.setPen(QPen(QColor(0x6C, 0x75, 0x80), 1.2));
    p.setBrush(QColor(0xA9, 0xB2, 0xBC));
    p.drawPath(cloud.simplified());
}

void DrawThoughts(QPainter& p)
{
    QRadialGradient glow(QPointF(16, 12), 10);
    glow.setColorAt(0, QColor(0xFF, 0xF6, 0xB0));
    glow.setColorAt(1, QColor(0xF7, 0xD0, 0x3C));
    QPainterPath bulb;
    bulb.addEllipse(QRectF(8, 3, 16, 16));
    bulb.addRect(QRectF(12, 15, 8, 6));
    bulb.setFillRule(Qt::WindingFill);
    p.setPen(QPen(QColor(0xB8, 0x8A, 0x00), 1.2));
    p.setBrush(glow);
    p.drawPath(bulb.simplified());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x80, 0x86, 0x8E));
    p.drawRoundedRect(QRectF(11.5, 21, 9, 2.5), 1, 1);
    p.drawRoundedRect(QRectF(11.5, 24, 9, 2.5), 1, 1);
    p.drawRoundedRect(QRectF(13.5, 27, 5, 2), 1, 1);
    p.setPen(QPen(QColor(0xB8, 0x8A, 0x00), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(
        QPolygonF({QPointF(13.5, 15), QPointF(15, 11), QPointF(16, 13), QPointF(17, 11), QPointF(18.5, 15)}));
}

void DrawArrow(QPainter& p, bool forward)
{
    QPolygonF arrow({QPointF(10, 2.5), QPointF(4, 8), QPointF(10, 13.5)});
    if (forward) {
        for (QPointF& point : arrow) {
            point.setX(16 - point.x());
        }
    }
    p.setPen(QPen(QColor(0x45, 0x68, 0x8E), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(arrow);
}

} // namespace

QIcon CatalogIcon(TCatalogIcon kind)
{
    const bool small = kind == TCatalogIcon::Back || kind == TCatalogIcon::Forward;
    const int size = small ? 16 : 32;
    QPixmap pixmap(int(size * kScale), int(size * kScale));
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(kScale, kScale);
    switch (kind) {
    case TCatalogIcon::Love:
        DrawLove(painter);
        break;
    case TCatalogIcon::Parting:
        DrawParting(painter);
        break;
    case TCatalogIcon::Humor:
        DrawHumor(painter);
        break;
    case TCatalogIcon::Depression:
        DrawDepression(painter);
        break;
    case TCatalogIcon::Thoughts:
        DrawThoughts(painter);
        break;
    case TCatalogIcon::Back:
        DrawArrow(painter, false);
        break;
    case TCatalogIcon::Forward:
        DrawArrow(painter, true);
        break;
    }
    painter.end();
    pixmap.setDevicePixelRatio(kScale);
    return QIcon(pixmap);
}
