#include "app/LogButton.h"

#include <QApplication>
#include <QPainter>

namespace {

constexpr int kTextMargin = 4;

} // namespace

TLogButton::TLogButton(QWidget* parent)
    : QAbstractButton(parent), m_face(QApplication::palette().color(QPalette::Button))
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void TLogButton::SetCaption(const QString& caption)
{
    m_caption = caption;
    Refit();
}

void TLogButton::SetFaceColor(const QColor& colour)
{
    if (m_face == colour)
        return;
    m_face = colour;
    update();
}

QSize TLogButton::sizeHint() const
{
    return {100, 18};
}

QString TLogButton::FittingPrefix(const QString& text, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    // Widths grow with the prefix, so the longest fitting one is found by bisection.
    qsizetype low = 0;
    qsizetype high = text.size();
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (metrics.horizontalAdvance(text.left(mid)) <= width)
            low = mid;
        else
            high = mid - 1;
    }
    if (low > 0 && low < text.size() && text[low - 1].isHighSurrogate())
        --low;
    return text.left(low);
}

QRect TLogButton::TextRect() const
{
    return contentsRect().adjusted(kTextMargin, 0, -kTextMargin, 0);
}

void TLogButton::Refit()
{
    // A line break would start a second line the button cannot show.
    QString line = m_caption;
    const qsizetype br = line.indexOf(QLatin1Char('\n'));
    if (br >= 0)
        line.truncate(br);
    setText(FittingPrefix(line, fontMetrics(), TextRect().width()));
    update();
}

void TLogButton::resizeEvent(QResizeEvent* event)
{
    QAbstractButton::resizeEvent(event);
    Refit();
}

void TLogButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QColor face = m_face;
    if (isDown())
        face = face.darker(110);
    else if (underMouse())
        face = face.lighter(104);
    p.fillRect(rect(), face);
    p.setPen(palette().color(QPalette::ButtonText));
    p.setFont(font());
    p.drawText(TextRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
}
