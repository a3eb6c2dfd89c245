#include "app/GlowButton.h"

#include <algorithm>

#include <QEnterEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kPadding = 3;
constexpr int kIconGap = 4;
constexpr int kNarrowest = 70; // per cent of the normal width

} // namespace

TGlowButton::TGlowButton(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
    setAttribute(Qt::WA_Hover);
}

int TGlowButton::ContentWidth() const
{
    const int room = width() - 2 * kPadding;
    return icon().isNull() ? room : room - iconSize().width() - kIconGap;
}

QFont TGlowButton::CaptionFont() const
{
    QFont f = font();
    const int needed = QFontMetrics(f).horizontalAdvance(text());
    const int room = ContentWidth();
    if (needed > room && needed > 0 && room > 0) {
        const int stretch = std::max(kNarrowest, 100 * room / needed);
        f.setStretch(stretch);
        // Rounding inside the font engine may still leave it a pixel too wide.
        while (f.stretch() > kNarrowest && QFontMetrics(f).horizontalAdvance(text()) > room)
            f.setStretch(f.stretch() - 1);
    }
    return f;
}

QSize TGlowButton::sizeHint() const
{
    const QFontMetrics m(font());
    int w = m.horizontalAdvance(text()) + 2 * kPadding + 8;
    if (!icon().isNull())
        w += iconSize().width() + kIconGap;
    return {w, std::max(m.height(), iconSize().height()) + 6};
}

QSize TGlowButton::minimumSizeHint() const
{
    return {2 * kPadding + 16, 16};
}

void TGlowButton::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QPushButton::enterEvent(event);
}

void TGlowButton::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QPushButton::leaveEvent(event);
}

void TGlowButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const bool enabled = isEnabled();
    const bool down = isDown() || isChecked();

    // The upper half lighter than the lower one, as a glass face; blue while the mouse is over it.
    QColor top(255, 255, 255), bottom(236, 236, 236), edge(198, 198, 198);
    if (!enabled) {
        top = bottom = QColor(246, 246, 246);
        edge = QColor(218, 218, 218);
    } else if (down) {
        top = QColor(206, 228, 242);
        bottom = QColor(184, 214, 234);
        edge = QColor(96, 150, 186);
    } else if (m_hovered) {
        top = QColor(242, 249, 253);
        bottom = QColor(214, 234, 246);
        edge = QColor(126, 178, 210);
    } else if (hasFocus()) {
        edge = QColor(96, 150, 186);
    }
    QLinearGradient face(frame.topLeft(), frame.bottomLeft());
    face.setColorAt(0.0, top);
    face.setColorAt(0.49, top);
    face.setColorAt(0.51, bottom);
    face.setColorAt(1.0, bottom);
    QPainterPath shape;
    shape.addRoundedRect(frame, 2, 2);
    p.fillPath(shape, face);
    p.setPen(edge);
    p.drawPath(shape);

    const QFont captionFont = CaptionFont();
    const QFontMetrics metrics(captionFont);
    const int textWidth = std::min(metrics.horizontalAdvance(text()), ContentWidth());
    const QSize iconSz = icon().isNull() ? QSize() : iconSize();
    const int total = textWidth + (iconSz.isEmpty() ? 0 : iconSz.width() + (text().isEmpty() ? 0 : kIconGap));
    int x = std::max(kPadding, (width() - total) / 2);
    if (!iconSz.isEmpty()) {
        const QPixmap pm =
            icon().pixmap(iconSz, devicePixelRatio(), enabled ? QIcon::Normal : QIcon::Disabled);
        p.drawPixmap(x, (height() - iconSz.height()) / 2, pm);
        x += iconSz.width() + kIconGap;
    }
    p.setFont(captionFont);
    p.setPen(palette().color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    const QRect textRect(x, 0, width() - x - kPadding, height());
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               metrics.elidedText(text(), Qt::ElideRight, textRect.width()));
}
