#include "accounts/AccountIcons.h"

#include <QPainter>
#include <QPixmap>

namespace {

constexpr int kSize = 16;

// Draws at 1x and 2x so the icon stays sharp on a high-density screen.
template <typename Paint> QIcon MakeIcon(Paint paint)
{
    QIcon icon;
    for (const int scale : {1, 2}) {
        QPixmap pixmap(kSize * scale, kSize * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        paint(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

QIcon AddAccountIcon()
{
    return MakeIcon([](QPainter& p) {
        p.setPen(QPen(QColor(46, 125, 50), 3.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 3), QPointF(8, 13));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
    });
}

QIcon DeleteAccountIcon()
{
    return MakeIcon([](QPainter& p) {
        p.setPen(QPen(QColor(198, 40, 40), 3.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
    });
}
