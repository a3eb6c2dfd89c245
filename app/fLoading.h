#pragma once

#include <QPointer>
#include <QPoint>
#include <QRect>
#include <QWidget>

class QLabel;
class QMovie;
class QTimer;

// The busy indicator: a borderless animation floating over the centre of the main window while
// a sign-in runs.
class TfrmLoader : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmLoader(QWidget* mainWindow);

    QLabel* JvGIFAnimator1;
    QTimer* Timer1;
    QMovie* Movie() const { return m_movie; }

    void Timer1Timer();
    // Top-left corner that centres size over window; halves go to the even neighbour.
    static QPoint CentreOver(const QRect& window, const QSize& size);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FrameChanged();

    QPointer<QWidget> m_mainWindow;
    QMovie* m_movie;
};
