#include "update/UpdatePicture.h"

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>

using namespace Qt::StringLiterals;

namespace {

// A quill whose tip rests on a tray, with an arrow coming down into it: "something new to fetch".
void DrawEmblem(QPainter& p, const QPointF& centre)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 38));
    p.drawEllipse(centre, 54, 54);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 44, 44);

    const QColor ink(0x1b, 0x5f, 0x9e);
    QPen pen(ink, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    // Tray.
    QPainterPath tray;
    tray.moveTo(centre + QPointF(-24, 6));
    tray.lineTo(centre + QPointF(-24, 20));
    tray.lineTo(centre + QPointF(24, 20));
    tray.lineTo(centre + QPointF(24, 6));
    p.drawPath(tray);
    // Arrow.
    p.drawLine(centre + QPointF(0, -26), centre + QPointF(0, 8));
    QPainterPath head;
    head.moveTo(centre + QPointF(-11, -3));
    head.lineTo(centre + QPointF(0, 8));
    head.lineTo(centre + QPointF(11, -3));
    p.drawPath(head);

    // Quill leaning over the arrow.
    QPainterPath quill;
    quill.moveTo(centre + QPointF(10, 2));
    quill.cubicTo(centre + QPointF(14, -18), centre + QPointF(26, -32), centre + QPointF(36, -36));
    quill.cubicTo(centre + QPointF(32, -22), centre + QPointF(24, -8), centre + QPointF(10, 2));
    p.setPen(QPen(QColor(0x2f, 0x8f, 0xd8), 1.5));
    p.setBrush(QColor(0x6c, 0xb4, 0xee));
    p.drawPath(quill);
}

} // namespace

QPixmap DrawUpdatePicture(const QSize& size, qreal devicePixelRatio)
{
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF area(QPointF(0, 0), QSizeF(size));
    QLinearGradient background(area.topLeft(), area.bottomRight());
    background.setColorAt(0, QColor(0x2a, 0x86, 0xc8));
    background.setColorAt(1, QColor(0x0c, 0x3d, 0x70));
    p.fillRect(area, background);

    // Soft light from the upper left.
    QRadialGradient glow(QPointF(area.width() * 0.2, area.height() * 0.1), area.height() * 0.6);
    glow.setColorAt(0, QColor(255, 255, 255, 70));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(area, glow);

    // A few faint rings for depth.
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(QColor(255, 255, 255, 22 - i * 6), 10));
        p.drawEllipse(QPointF(area.width() * 0.9, area.height() * 0.95), 60.0 + i * 34, 60.0 + i * 34);
    }

    const QPointF centre(area.width() / 2, area.height() * 0.36);
    DrawEmblem(p, centre);

    p.setPen(Qt::white);
    QFont title(p.font());
    title.setBold(true);
    title.setPixelSize(20);
    p.setFont(title);
    const QRectF titleBox(0, centre.y() + 66, area.width(), 28);
    p.drawText(titleBox, Qt::AlignHCenter | Qt::AlignVCenter, u"Quillbox"_s);

    QFont subtitle(p.font());
    subtitle.setBold(false);
    subtitle.setPixelSize(12);
    p.setFont(subtitle);
    p.setPen(QColor(255, 255, 255, 200));
    p.drawText(QRectF(0, titleBox.bottom(), area.width(), 20), Qt::AlignHCenter | Qt::AlignVCenter,
               u"обновление"_s);
    p.end();
    return pixmap;
}
