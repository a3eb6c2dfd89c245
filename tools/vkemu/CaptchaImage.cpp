#include "CaptchaImage.h"

#include <array>

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPen>

namespace emu {
namespace {

// Segments a to g of each digit, as bits 0 to 6.
constexpr std::array<int, 10> kSegments = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

void drawDigit(QPainter& p, int digit, int x, int y)
{
    const int w = 14, h = 14;
    const QLine segments[7] = {
        {x, y, x + w, y},                 // a
        {x + w, y, x + w, y + h},         // b
        {x + w, y + h, x + w, y + 2 * h}, // c
        {x, y + 2 * h, x + w, y + 2 * h}, // d
        {x, y + h, x, y + 2 * h},         // e
        {x, y, x, y + h},                 // f
        {x, y + h, x + w, y + h},         // g
    };
    for (int s = 0; s < 7; ++s) {
        if (kSegments[size_t(digit)] & (1 << s))
            p.drawLine(segments[s]);
    }
}

} // namespace

QByteArray CaptchaJpeg(const QString& text)
{
    QImage image(130, 50, QImage::Format_RGB32);
    image.fill(QColor(236, 240, 246));
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(170, 180, 200), 1));
        for (int i = 0; i < 12; ++i)
            p.drawLine(0, (i * 37) % 50, 130, (i * 53 + 17) % 50);
        p.setPen(QPen(QColor(40, 60, 110), 3, Qt::SolidLine, Qt::RoundCap));
        int x = 10;
        for (QChar c : text) {
            if (!c.isDigit() || c.digitValue() < 0 || c.digitValue() > 9 || x > 110)
                continue;
            drawDigit(p, c.digitValue(), x, 10 + (x / 7) % 6);
            x += 22;
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

} // namespace emu
