#include <cstdlib>
#include <vector>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include "UpdateFixture.h"
#include "update/formUpdate.h"

using namespace Qt::StringLiterals;

namespace {

const QString Download = u"http://" QUILLBOX_UPDATE_HOST "/files/Quillbox.exe"_s;
const QString Site = u"http://" QUILLBOX_UPDATE_HOST "/"_s;

template <typename T> T* Child(QWidget& parent, const char16_t* name)
{
    T* w = parent.findChild<T*>(QString::fromUtf16(name));
    EXPECT_NE(w, nullptr) << QString::fromUtf16(name).toStdString();
    return w;
}

} // namespace

class TfrmUpdateTest : public UpdateFixture
{
protected:
    void SetUp() override
    {
        UpdateFixture::SetUp();
        SetUrlOpener([this](const QUrl& url) { opened.push_back(url.toString()); });
        notice.SetCloseMainWindow([this] {
            closedAfter = opened;
            ++closes;
        });
        notice.SetAnnouncement(u"3.02"_s, {u"one"_s, u"two"_s});
    }

    // Shown window-modal-free, so the test keeps control; the result says how it ended.
    void Show()
    {
        notice.open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&notice));
    }

    std::vector<QString> opened;
    std::vector<QString> closedAfter;
    int closes = 0;
    TfrmUpdate notice;
};

TEST_F(TfrmUpdateTest, LayoutTextsAndLook)
{
    EXPECT_EQ(notice.windowTitle(), u"Quillbox - новая версия"_s);
    const Qt::WindowFlags flags = notice.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowContextHelpButtonHint));
    EXPECT_EQ(notice.size(), QSize(458, 354));
    EXPECT_EQ(notice.palette().color(QPalette::Window), QColor(Qt::white));

    auto* image = Child<QLabel>(notice, u"Image321");
    EXPECT_EQ(image->geometry(), QRect(0, 0, 164, 314));
    EXPECT_FALSE(image->pixmap().isNull());

    EXPECT_EQ(Child<QLabel>(notice, u"Label1")->text(), u"Доступна новая версия Quillbox 3.02!"_s);
    auto* memo = Child<QPlainTextEdit>(notice, u"Memo1");
    EXPECT_EQ(memo->size(), QSize(257, 239));
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo->toPlainText(), u"one\ntwo"_s);
    auto* label2 = Child<QLabel>(notice, u"Label2");
    EXPECT_EQ(label2->text(), u"Скачать новую версию программы?"_s);
    EXPECT_TRUE(label2->font().bold());

    auto* panel = Child<QWidget>(notice, u"Panel1");
    EXPECT_EQ(panel->geometry(), QRect(0, 314, 458, 40));
    auto* label3 = Child<QLabel>(notice, u"Label3");
    EXPECT_EQ(label3->parentWidget(), panel);
    EXPECT_EQ(label3->text(), u"Сайт программы"_s);
    EXPECT_TRUE(label3->font().underline());
    EXPECT_EQ(label3->palette().color(QPalette::WindowText), QColor(0x00, 0x66, 0xcc));
    EXPECT_EQ(label3->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_LE(std::abs(label3->geometry().center().y() - panel->rect().center().y()), 1)
        << "vertically centred";

    auto* later = Child<QPushButton>(notice, u"AdvGlowButton1");
    auto* download = Child<QPushButton>(notice, u"btnResumeDownload");
    EXPECT_EQ(later->text(), u"Напомнить позже"_s);
    EXPECT_EQ(download->text(), u"Скачать новую версию"_s);
    EXPECT_EQ(later->parentWidget(), panel);
    EXPECT_EQ(download->parentWidget(), panel);
    EXPECT_LT(later->geometry().right(), download->geometry().left());
    EXPECT_LE(download->geometry().right(), panel->width());
}

TEST_F(TfrmUpdateTest, EnterAndEscapeRemindLaterWhereverTheFocusIs)
{
    struct Case
    {
        const char16_t* focus;
        Qt::Key key;
    };
    const Case cases[] = {
        {u"AdvGlowButton1", Qt::Key_Return},    {u"Memo1", Qt::Key_Return},
        {u"btnResumeDownload", Qt::Key_Return}, {u"btnResumeDownload", Qt::Key_Enter},
        {u"btnResumeDownload", Qt::Key_Escape},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QString::fromUtf16(c.focus).toStdString() + " " + std::to_string(c.key));
        Show();
        QWidget* focus = Child<QWidget>(notice, c.focus);
        focus->setFocus();
        QTest::keyClick(focus, c.key);
        EXPECT_FALSE(notice.isVisible());
        EXPECT_EQ(notice.result(), QDialog::Rejected);
        EXPECT_TRUE(opened.empty());
        EXPECT_EQ(closes, 0);
    }
}

TEST_F(TfrmUpdateTest, SiteLinkOpensTheRootAndKeepsTheWindow)
{
    Show();
    QTest::mouseClick(Child<QLabel>(notice, u"Label3"), Qt::LeftButton);
    EXPECT_EQ(opened, std::vector<QString>{Site});
    EXPECT_TRUE(notice.isVisible());
    EXPECT_EQ(closes, 0);
}

TEST_F(TfrmUpdateTest, DownloadButtonAndBareStripOpenTheFileThenCloseTheProgram)
{
    for (bool onStrip : {false, true}) {
        SCOPED_TRACE(onStrip ? "bare strip" : "button");
        opened.clear();
        closes = 0;
        Show();
        auto* panel = Child<QWidget>(notice, u"Panel1");
        if (onStrip) {
            const QPoint bare(Child<QLabel>(notice, u"Label3")->geometry().right() + 10, panel->height() / 2);
            ASSERT_EQ(panel->childAt(bare), nullptr);
            QTest::mouseClick(panel, Qt::LeftButton, {}, bare);
        } else {
            QTest::mouseClick(Child<QPushButton>(notice, u"btnResumeDownload"), Qt::LeftButton);
        }
        EXPECT_EQ(opened, std::vector<QString>{Download});
        EXPECT_EQ(closedAfter, std::vector<QString>{Download})
            << "the download opens before the program closes";
        EXPECT_EQ(closes, 1);
        EXPECT_FALSE(notice.isVisible());
    }
}

TEST_F(TfrmUpdateTest, OpensCentredOverTheMainWindowAndOnItsScreen)
{
    const QRect screen = notice.screen()->availableGeometry();
    struct Case
    {
        QRect owner;
        bool clamped;
    };
    const Case cases[] = {
        {QRect(screen.left() + 40, screen.top() + 30, 600, 420), false},
        {QRect(screen.right() - 100, screen.bottom() - 60, 200, 100), true},
    };
    for (const Case& c : cases) {
        QWidget owner;
        owner.setGeometry(c.owner);
        notice.CenterOver(&owner);
        const QRect placed(notice.pos(), notice.size());
        if (!c.clamped) {
            EXPECT_LE((placed.center() - owner.frameGeometry().center()).manhattanLength(), 1);
        } else {
            EXPECT_TRUE(screen.contains(placed)) << placed.x() << "," << placed.y();
        }
    }
}
