#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QString>

// The flat log button at the bottom of the main window: it shows the last log line, left-aligned
// and cut after the last character that fits (no ellipsis), on a background of its own colour.
class TLogButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit TLogButton(QWidget* parent = nullptr);

    void SetCaption(const QString& caption);
    QString Caption() const { return m_caption; }
    // The part of the caption on show: the longest prefix that fits the contents.
    QString ShownText() const { return text(); }
    void SetFaceColor(const QColor& colour);
    QColor FaceColor() const { return m_face; }

    QSize sizeHint() const override;

    // The longest prefix of text whose width fits width (never splitting a surrogate pair).
    static QString FittingPrefix(const QString& text, const QFontMetrics& metrics, int width);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Refit();
    QRect TextRect() const;

    QString m_caption;
    QColor m_face;
};
