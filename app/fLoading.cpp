#include "app/fLoading.h"

#include <QBitmap>
#include <QLabel>
#include <QMovie>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// n / 2 rounded to the nearest integer, halves to the even neighbour.
int HalfToEven(qint64 n)
{
    qint64 q = n / 2; // truncates towards zero
    qint64 r = n % 2;
    if (r != 0) {
        // n is odd: the exact value lies half-way between q and q + sign(n).
        const qint64 other = q + (n > 0 ? 1 : -1);
        q = (q % 2 == 0) ? q : other;
    }
    return int(q);
}

} // namespace

TfrmLoader::TfrmLoader(QWidget* mainWindow)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      m_mainWindow(mainWindow)
{
    setObjectName(u"frmLoader"_s);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    JvGIFAnimator1 = new QLabel(this);
    JvGIFAnimator1->setObjectName(u"JvGIFAnimator1"_s);
    JvGIFAnimator1->setFixedSize(31, 31);
    m_movie = new QMovie(u":/app/loader.gif"_s, QByteArray(), this);
    m_movie->setCacheMode(QMovie::CacheAll);
    JvGIFAnimator1->setMovie(m_movie);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(JvGIFAnimator1);
    setFixedSize(31, 31);
    // Without a compositor a translucent window paints black: the frame's own shape cuts it out.
    connect(m_movie, &QMovie::frameChanged, this, &TfrmLoader::FrameChanged);
    m_movie->start();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(u"Timer1"_s);
    Timer1->setInterval(10);
    connect(Timer1, &QTimer::timeout, this, &TfrmLoader::Timer1Timer);
    Timer1->start();
}

QPoint TfrmLoader::CentreOver(const QRect& window, const QSize& size)
{
    // left + width / 2 - own / 2, computed exactly as (2 left + width - own) / 2.
    const qint64 x = 2 * qint64(window.x()) + window.width() - size.width();
    const qint64 y = 2 * qint64(window.y()) + window.height() - size.height();
    return {HalfToEven(x), HalfToEven(y)};
}

void TfrmLoader::Timer1Timer()
{
    if (!isVisible() || !m_mainWindow)
        return;
    const QPoint target = CentreOver(m_mainWindow->frameGeometry(), frameGeometry().size());
    if (pos() != target)
        move(target);
}

void TfrmLoader::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Timer1Timer();
}

void TfrmLoader::FrameChanged()
{
    const QBitmap mask = m_movie->currentPixmap().mask();
    if (mask.isNull())
        clearMask();
    else
        setMask(mask);
}
