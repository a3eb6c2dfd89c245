#pragma once

#include <QPushButton>

// The main window's light push button: a soft two-tone face that glows blue under the mouse,
// the picture and caption centred together. A caption wider than the button is narrowed, not cut,
// since the fixed 120-pixel buttons were laid out for Tahoma and most systems have wider fonts.
class TGlowButton : public QPushButton
{
    Q_OBJECT
public:
    explicit TGlowButton(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The font the caption is drawn in at the current width.
    QFont CaptionFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    int ContentWidth() const;

    bool m_hovered = false;
};
