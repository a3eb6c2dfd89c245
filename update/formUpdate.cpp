#include "update/formUpdate.h"

#include <algorithm>

#include <QDesktopServices>
#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "update/UpdatePicture.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int ClientWidth = 458;
constexpr int ClientHeight = 354;
constexpr int PictureWidth = 164;
constexpr int StripHeight = 40;

std::function<void(const QUrl&)>& UrlOpener()
{
    static std::function<void(const QUrl&)> opener;
    return opener;
}

const QString ButtonStyle = uR"(
QPushButton { border: 1px solid #a7b6c6; border-radius: 3px; background: #f4f7fa; color: #1e2a36;
              padding: 2px 10px; }
QPushButton:hover { background: #e4eef8; border-color: #7fa3c8; }
QPushButton:pressed { background: #d2e2f2; }
QPushButton:default { border-color: #4f82b8; }
QPushButton:focus { border-color: #2f6fb0; }
)"_s;

// The white button bar with a line along its top. A click on the bare strip (not on one of its
// widgets) runs onClick.
class TButtonStrip : public QWidget
{
public:
    TButtonStrip(QWidget* parent, std::function<void()> onClick)
        : QWidget(parent), m_onClick(std::move(onClick))
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        p.setPen(QColor(0xd0, 0xd7, 0xdf));
        p.drawLine(0, 0, width() - 1, 0);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        // Presses ignored by a child label reach us too; only the bare strip counts.
        m_armed = event->button() == Qt::LeftButton && Bare(event->position().toPoint());
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        const bool click = m_armed && event->button() == Qt::LeftButton && Bare(event->position().toPoint());
        m_armed = false;
        event->accept();
        if (click && m_onClick)
            m_onClick();
    }

private:
    bool Bare(const QPoint& pos) const { return rect().contains(pos) && !childAt(pos); }

    std::function<void()> m_onClick;
    bool m_armed = false;
};

} // namespace

void SetUrlOpener(std::function<void(const QUrl&)> opener)
{
    UrlOpener() = std::move(opener);
}

void OpenUrl(const QUrl& url)
{
    if (UrlOpener())
        UrlOpener()(url);
    else
        QDesktopServices::openUrl(url); // its result is of no use to us
}

TfrmUpdate::TfrmUpdate(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"frmUpdate"_s);
    setWindowTitle(u"Quillbox - новая версия"_s);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    setFixedSize(ClientWidth, ClientHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    const int contentHeight = ClientHeight - StripHeight;
    auto* image = new QLabel(this);
    image->setObjectName(u"Image321"_s);
    image->setGeometry(0, 0, PictureWidth, contentHeight);
    image->setPixmap(DrawUpdatePicture(image->size(), devicePixelRatioF()));

    const int left = PictureWidth + 16;
    const int textWidth = ClientWidth - left - 12;
    m_label1 = new QLabel(this);
    m_label1->setObjectName(u"Label1"_s);
    m_label1->setGeometry(left, 8, textWidth, 28);
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_label1->setWordWrap(true);
    m_label1->setTextFormat(Qt::PlainText);

    m_memo1 = new QPlainTextEdit(this);
    m_memo1->setObjectName(u"Memo1"_s);
    m_memo1->setGeometry(left, 40, 257, 239);
    m_memo1->setReadOnly(true);
    m_memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* label2 = new QLabel(u"Скачать новую версию программы?"_s, this);
    label2->setObjectName(u"Label2"_s);
    QFont bold = label2->font();
    bold.setBold(true);
    label2->setFont(bold);
    label2->setGeometry(left, 286, textWidth, 20);

    auto* panel1 = new TButtonStrip(this, [this] { Button1Click(); });
    panel1->setObjectName(u"Panel1"_s);
    panel1->setGeometry(0, contentHeight, ClientWidth, StripHeight);

    m_label3 = new QLabel(u"Сайт программы"_s, panel1);
    m_label3->setObjectName(u"Label3"_s);
    QFont link = m_label3->font();
    link.setUnderline(true);
    m_label3->setFont(link);
    QPalette linkPalette = m_label3->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0x00, 0x66, 0xcc));
    m_label3->setPalette(linkPalette);
    m_label3->setCursor(Qt::PointingHandCursor);
    const QSize linkSize = m_label3->sizeHint();
    m_label3->setGeometry(12, (StripHeight - linkSize.height()) / 2, linkSize.width(), linkSize.height());
    m_label3->installEventFilter(this);

    auto* btnResumeDownload = new QPushButton(u"Скачать новую версию"_s, panel1);
    btnResumeDownload->setObjectName(u"btnResumeDownload"_s);
    btnResumeDownload->setStyleSheet(ButtonStyle);
    // The notice can pop up while the user types elsewhere: Enter must never start the download.
    btnResumeDownload->setAutoDefault(false);
    connect(btnResumeDownload, &QPushButton::clicked, this, [this] { Button1Click(); });

    m_advGlowButton1 = new QPushButton(u"Напомнить позже"_s, panel1);
    m_advGlowButton1->setObjectName(u"AdvGlowButton1"_s);
    m_advGlowButton1->setStyleSheet(ButtonStyle);
    m_advGlowButton1->setDefault(true);
    connect(m_advGlowButton1, &QPushButton::clicked, this, &QDialog::reject);

    const int buttonHeight = 26;
    const int buttonTop = (StripHeight - buttonHeight) / 2;
    const int downloadWidth = std::max(150, btnResumeDownload->sizeHint().width());
    const int laterWidth = std::max(120, m_advGlowButton1->sizeHint().width());
    btnResumeDownload->setGeometry(ClientWidth - 10 - downloadWidth, buttonTop, downloadWidth, buttonHeight);
    m_advGlowButton1->setGeometry(btnResumeDownload->x() - 6 - laterWidth, buttonTop, laterWidth,
                                  buttonHeight);

    setTabOrder(m_advGlowButton1, btnResumeDownload);
    m_advGlowButton1->setFocus();
}

void TfrmUpdate::SetCloseMainWindow(std::function<void()> closeMainWindow)
{
    m_closeMainWindow = std::move(closeMainWindow);
}

void TfrmUpdate::SetAnnouncement(const QString& version, const QStringList& notes)
{
    m_label1->setText(u"Доступна новая версия Quillbox "_s + version + u'!');
    m_memo1->setPlainText(notes.join(u'\n'));
}

void TfrmUpdate::CenterOver(const QWidget* owner)
{
    if (!owner)
        return;
    QRect placed(QPoint(0, 0), size());
    placed.moveCenter(owner->frameGeometry().center());
    if (const QScreen* screen = owner->screen()) {
        const QRect area = screen->availableGeometry();
        placed.moveLeft(
            std::clamp(placed.left(), area.left(), std::max(area.left(), area.right() - width())));
        placed.moveTop(std::clamp(placed.top(), area.top(), std::max(area.top(), area.bottom() - height())));
    }
    move(placed.topLeft());
}

void TfrmUpdate::Button1Click()
{
    try {
        OpenUrl(QUrl(u"http://" QUILLBOX_UPDATE_HOST "/files/Quillbox.exe"_s));
        if (m_closeMainWindow)
            m_closeMainWindow();
    } catch (...) {
        // Nothing of the version check reaches the user as an error.
    }
    accept();
}

void TfrmUpdate::Label3Click()
{
    try {
        OpenUrl(QUrl(u"http://" QUILLBOX_UPDATE_HOST "/"_s));
    } catch (...) {
    }
}

bool TfrmUpdate::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_label3) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            return true; // kept from the strip behind, which would start the download
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && m_label3->rect().contains(mouse->position().toPoint()))
                Label3Click();
            return true;
        }
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}
