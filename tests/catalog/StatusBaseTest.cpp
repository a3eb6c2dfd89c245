#include "catalog/fStatusBase.h"

#include <optional>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QSlider>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextEdit>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include "accounts/CryptStr.h"
#include "net/Exception.h"

using namespace Qt::StringLiterals;

namespace {

const QString kLink = u"Установить статус"_s;

QString StatusNumber(const QString& category, int i)
{
    return u"%1: статус №%2"_s.arg(category).arg(i);
}

class StatusBaseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_form.SetBaseFolder(m_dir.path());
    }

    // Writes a category file of scrambled lines, CR LF after each.
    void WriteRaw(const QString& fileName, const QByteArray& bytes)
    {
        QFile file(QDir(m_dir.path()).filePath(fileName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    void WriteStatuses(const QString& fileName, const QStringList& statuses)
    {
        QByteArray bytes;
        for (const QString& s : statuses) {
            bytes += Scramble(s).toLatin1() + "\r\n";
        }
        WriteRaw(fileName, bytes);
    }
    void WriteNumbered(const QString& fileName, int count)
    {
        QStringList statuses;
        for (int i = 0; i < count; ++i) {
            statuses.append(StatusNumber(fileName, i));
        }
        WriteStatuses(fileName, statuses);
    }

    template <class T> T* Child(const char* name)
    {
        T* widget = m_form.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QTextBrowser* View() { return Child<QTextBrowser>("RichView1"); }
    QSlider* Slider() { return Child<QSlider>("slPage"); }
    QToolButton* Left() { return Child<QToolButton>("btnLeft"); }
    QToolButton* Right() { return Child<QToolButton>("btnRight"); }

    // The statuses shown, read back from the view's blocks: status, link, separator per entry.
    QStringList ShownStatuses()
    {
        QStringList statuses;
        const QTextDocument* document = View()->document();
        if (document->isEmpty()) {
            return statuses;
        }
        EXPECT_EQ(document->blockCount() % 3, 0) << document->toPlainText().toStdString();
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next().next().next()) {
            statuses.append(block.text());
            EXPECT_EQ(block.next().text(), kLink);
        }
        return statuses;
    }
    QStringList Expected(const QString& fileName, int first, int last)
    {
        QStringList statuses;
        for (int i = first; i <= last; ++i) {
            statuses.append(StatusNumber(fileName, i));
        }
        return statuses;
    }
    QString LinkHref(int k)
    {
        const QTextBlock link = View()->document()->findBlockByNumber(3 * k + 1);
        return link.begin().fragment().charFormat().anchorHref();
    }
    void ClickLink(int k) { emit View()->anchorClicked(QUrl(LinkHref(k))); }

    QTemporaryDir m_dir;
    TfrmStatusBase m_form;
};

} // namespace

TEST_F(StatusBaseTest, PagesOfTwentyAndTheLastPage)
{
    struct Case
    {
        int lines;
        int lastPage;
        int onLastPage;
    };
    for (const Case c : {Case{45, 2, 5}, Case{40, 1, 20}, Case{20, 0, 20}, Case{1, 0, 1}, Case{21, 1, 1}}) {
        SCOPED_TRACE(c.lines);
        const QString name = u"cat%1.txt"_s.arg(c.lines);
        WriteNumbered(name, c.lines);
        m_form.LoadCategory(name);
        EXPECT_EQ(m_form.Lines().Count(), c.lines);
        EXPECT_EQ(Slider()->minimum(), 0);
        EXPECT_EQ(Slider()->maximum(), c.lastPage);
        EXPECT_EQ(m_form.CurrentPage(), 0);
        EXPECT_FALSE(Left()->isEnabled());
        EXPECT_EQ(Right()->isEnabled(), c.lastPage > 0);
        EXPECT_EQ(ShownStatuses(), Expected(name, 0, std::min(c.lines, 20) - 1));

        Slider()->setValue(c.lastPage);
        const int first = 20 * c.lastPage;
        EXPECT_EQ(ShownStatuses(), Expected(name, first, first + c.onLastPage - 1));
        EXPECT_FALSE(Right()->isEnabled());
        EXPECT_EQ(Left()->isEnabled(), c.lastPage > 0);
    }
}

TEST_F(StatusBaseTest, EmptyFileShowsNothing)
{
    WriteNumbered(u"love.txt"_s, 30);
    m_form.LoadCategory(u"love.txt"_s);
    Right()->click();
    WriteRaw(u"empty.txt"_s, {});
    m_form.LoadCategory(u"empty.txt"_s);
    EXPECT_EQ(m_form.Lines().Count(), 0);
    EXPECT_TRUE(View()->document()->isEmpty());
    EXPECT_EQ(Slider()->maximum(), 0);
    EXPECT_FALSE(Left()->isEnabled());
    EXPECT_FALSE(Right()->isEnabled());
}

TEST_F(StatusBaseTest, PageButtonsStepAndStopAtTheEnds)
{
    WriteNumbered(u"love.txt"_s, 45);
    m_form.LoadCategory(u"love.txt"_s);
    Left()->click();
    EXPECT_EQ(m_form.CurrentPage(), 0);
    EXPECT_EQ(ShownStatuses(), Expected(u"love.txt"_s, 0, 19));

    Right()->click();
    EXPECT_EQ(m_form.CurrentPage(), 1);
    EXPECT_TRUE(Left()->isEnabled());
    EXPECT_TRUE(Right()->isEnabled());
    Right()->click();
    EXPECT_EQ(m_form.CurrentPage(), 2);
    EXPECT_FALSE(Right()->isEnabled());
    Right()->click();
    EXPECT_EQ(m_form.CurrentPage(), 2);
    EXPECT_EQ(ShownStatuses(), Expected(u"love.txt"_s, 40, 44));

    Left()->click();
    EXPECT_EQ(m_form.CurrentPage(), 1);
    EXPECT_EQ(ShownStatuses(), Expected(u"love.txt"_s, 20, 39));
}

TEST_F(StatusBaseTest, AnotherCategoryStartsAtPageZero)
{
    WriteNumbered(u"love.txt"_s, 100);
    WriteNumbered(u"humor.txt"_s, 50);
    m_form.LoadCategory(u"love.txt"_s);
    Slider()->setValue(3);
    ASSERT_EQ(ShownStatuses(), Expected(u"love.txt"_s, 60, 79));

    m_form.LoadCategory(u"humor.txt"_s);
    EXPECT_EQ(m_form.CurrentCategory(), u"humor.txt"_s);
    EXPECT_EQ(m_form.CurrentPage(), 0);
    EXPECT_EQ(Slider()->maximum(), 2);
    EXPECT_FALSE(Left()->isEnabled());
    EXPECT_TRUE(Right()->isEnabled());
    EXPECT_EQ(ShownStatuses(), Expected(u"humor.txt"_s, 0, 19));
}

TEST_F(StatusBaseTest, EachCategoryButtonLoadsItsFile)
{
    const struct
    {
        const char* button;
        const char16_t* caption;
        const char* file;
    } buttons[] = {
        {"btnSend", u"Любовь", "love.txt"},
        {"AdvGlowButton2", u"Разулка", "razluka.txt"},
        {"AdvGlowButton1", u"Юмор", "humor.txt"},
        {"AdvGlowButton3", u"Депрессия", "depress.txt"},
        {"AdvGlowButton4", u"Умные мысли", "brain.txt"},
        {"AdvGlowButton5", u"Для девушек", "forgirl.txt"},
        {"AdvGlowButton7", u"Для парней", "formen.txt"},
        {"AdvGlowButton6", u"Я - лучше всех!", "pafos.txt"},
        {"AdvGlowButton8", u"Секс", "sex.txt"},
        {"AdvGlowButton9", u"Другие", "other.txt"},
    };
    for (const auto& b : buttons) {
        WriteNumbered(QString::fromLatin1(b.file), 3);
    }
    m_form.show();
    int x = -1;
    for (size_t i = 0; i < std::size(buttons); ++i) {
        const auto& b = buttons[i];
        SCOPED_TRACE(b.button);
        QToolButton* button = Child<QToolButton>(b.button);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QString::fromUtf16(b.caption));
        const bool upper = i < 5;
        EXPECT_EQ(button->parentWidget()->objectName(), upper ? u"Panel1"_s : u"Panel2"_s);
        EXPECT_EQ(button->size(), upper ? QSize(120, 42) : QSize(120, 20));
        EXPECT_EQ(button->icon().isNull(), !upper);
        if (i == 0 || i == 5) {
            x = -1;
        }
        EXPECT_GT(button->x(), x) << "left to right in table order";
        x = button->x();
        button->click();
        EXPECT_EQ(ShownStatuses(), Expected(QString::fromLatin1(b.file), 0, 2));
    }
}

TEST_F(StatusBaseTest, WindowLayout)
{
    m_form.show();
    EXPECT_EQ(m_form.windowTitle(), u"Лучшие статусы в контакте"_s);
    EXPECT_EQ(m_form.size(), QSize(620, 410));
    EXPECT_EQ(Child<QFrame>("Panel1")->height(), 48);
    EXPECT_EQ(Child<QFrame>("Panel2")->height(), 25);
    EXPECT_EQ(Child<QFrame>("pnlPlayer")->height(), 32);
    EXPECT_EQ(Left()->text(), u"Сюда"_s);
    EXPECT_EQ(Right()->text(), u"Туда"_s);
    EXPECT_EQ(Left()->size(), QSize(60, 24));
    EXPECT_EQ(Right()->size(), QSize(60, 24));
    EXPECT_EQ(Left()->iconSize(), QSize(16, 16));
    EXPECT_LT(Left()->x(), Slider()->x());
    EXPECT_LT(Slider()->x() + Slider()->width(), Right()->x());
    EXPECT_EQ(Slider()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(View()->frameShape(), QFrame::NoFrame);
    EXPECT_FALSE(View()->openLinks());
    const int viewTop = View()->mapTo(&m_form, QPoint(0, 0)).y();
    EXPECT_EQ(viewTop, 48 + 25);
    EXPECT_EQ(viewTop + View()->height(), Child<QFrame>("pnlPlayer")->y());
    m_form.hide();
}

TEST_F(StatusBaseTest, PageItemsCarryTheirStyles)
{
    WriteStatuses(u"love.txt"_s, {u"первый"_s, u"второй"_s});
    m_form.LoadCategory(u"love.txt"_s);
    const QTextDocument* document = View()->document();
    ASSERT_EQ(document->blockCount(), 6);
    for (int k = 0; k < 2; ++k) {
        const QTextBlock status = document->findBlockByNumber(3 * k);
        const QTextBlock link = status.next();
        const QTextBlock separator = link.next();
        EXPECT_EQ(status.blockFormat().topMargin(), 5);
        EXPECT_EQ(status.begin().fragment().charFormat().fontFamilies().toStringList(),
                  QStringList{u"Arial"_s});
        EXPECT_EQ(link.blockFormat().topMargin(), 5);
        EXPECT_EQ(link.blockFormat().bottomMargin(), 5);
        const QTextCharFormat linkFormat = link.begin().fragment().charFormat();
        EXPECT_TRUE(linkFormat.isAnchor());
        EXPECT_FALSE(linkFormat.anchorHref().isEmpty()) << "an empty target reports no click";
        EXPECT_EQ(linkFormat.fontPointSize(), 8);
        EXPECT_EQ(linkFormat.foreground().color(), QColor(153, 153, 153));
        EXPECT_FALSE(linkFormat.fontUnderline());
        EXPECT_TRUE(separator.text().isEmpty());
        EXPECT_TRUE(separator.blockFormat().hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth));
        EXPECT_EQ(separator.blockFormat().background().color(), QColor(0xEE, 0xEE, 0xEE));
    }
    EXPECT_NE(LinkHref(0), LinkHref(1));
}

TEST_F(StatusBaseTest, LinkUnderlinedWhileTheMouseIsOverIt)
{
    WriteNumbered(u"love.txt"_s, 3);
    m_form.LoadCategory(u"love.txt"_s);
    const auto underlined = [this](int k) {
        return View()
            ->document()
            ->findBlockByNumber(3 * k + 1)
            .begin()
            .fragment()
            .charFormat()
            .fontUnderline();
    };
    emit View()->highlighted(QUrl(LinkHref(1)));
    EXPECT_FALSE(underlined(0));
    EXPECT_TRUE(underlined(1));
    emit View()->highlighted(QUrl(LinkHref(2)));
    EXPECT_FALSE(underlined(1));
    EXPECT_TRUE(underlined(2));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(View()->viewport(), &leave);
    EXPECT_FALSE(underlined(2));
    EXPECT_EQ(ShownStatuses(), Expected(u"love.txt"_s, 0, 2));
}

TEST_F(StatusBaseTest, LinkCopiesItsStatusIntoTheEditorAndHides)
{
    QTextEdit editor;
    editor.setPlainText(u"старый текст"_s);
    int changes = 0;
    QObject::connect(&editor, &QTextEdit::textChanged, &editor, [&changes] { ++changes; });
    m_form.SetStatusTarget([&editor](const QString& status) { editor.setPlainText(status); });

    WriteNumbered(u"love.txt"_s, 30);
    m_form.LoadCategory(u"love.txt"_s);
    Right()->click();
    m_form.show();
    ClickLink(4);
    EXPECT_EQ(editor.toPlainText(), StatusNumber(u"love.txt"_s, 24));
    EXPECT_GT(changes, 0) << "the editor reacts as to typing";
    EXPECT_FALSE(m_form.isVisible());
}

TEST_F(StatusBaseTest, LinkUnderAnEmptyStatusCopiesEmptyText)
{
    std::optional<QString> copied;
    m_form.SetStatusTarget([&copied](const QString& status) { copied = status; });
    WriteRaw(u"love.txt"_s, Scramble(u"первый"_s).toLatin1() + "\r\n\r\n" + Scramble(u"третий"_s).toLatin1());
    m_form.LoadCategory(u"love.txt"_s);
    ASSERT_EQ(ShownStatuses(), (QStringList{u"первый"_s, u""_s, u"третий"_s}));
    ClickLink(1);
    ASSERT_TRUE(copied.has_value());
    EXPECT_EQ(*copied, QString());
}

TEST_F(StatusBaseTest, HidingAndShowingKeepsCategoryAndPage)
{
    WriteNumbered(u"humor.txt"_s, 70);
    m_form.show();
    m_form.LoadCategory(u"humor.txt"_s);
    Slider()->setValue(2);
    const QString before = View()->document()->toPlainText();
    m_form.close();
    EXPECT_FALSE(m_form.isVisible());
    m_form.show();
    EXPECT_EQ(m_form.CurrentCategory(), u"humor.txt"_s);
    EXPECT_EQ(m_form.CurrentPage(), 2);
    EXPECT_EQ(View()->document()->toPlainText(), before);
    EXPECT_EQ(ShownStatuses(), Expected(u"humor.txt"_s, 40, 59));
    m_form.hide();
}

TEST_F(StatusBaseTest, UndecodableLineShownAsItStands)
{
    WriteRaw(u"love.txt"_s, Scramble(u"хорошая"_s).toLatin1() +
                                "\r\nqwe 123 !\r\n\xCF\xF0\xE8\xE2\xE5\xF2\r\n" +
                                Scramble(u"последняя"_s).toLatin1() + "\r\n");
    m_form.LoadCategory(u"love.txt"_s);
    EXPECT_EQ(ShownStatuses(), (QStringList{u"хорошая"_s, u"qwe 123 !"_s, u"Привет"_s, u"последняя"_s}));
}

TEST_F(StatusBaseTest, UnreadableFileChangesNothingAndNamesTheFile)
{
    WriteNumbered(u"love.txt"_s, 50);
    m_form.LoadCategory(u"love.txt"_s);
    Slider()->setValue(1);
    const QString before = View()->document()->toPlainText();
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(u"sex.txt"_s));

    for (const char* name : {"humor.txt", "sex.txt"}) {
        SCOPED_TRACE(name);
        const QString path = QDir(m_dir.path()).filePath(QString::fromLatin1(name));
        try {
            m_form.LoadCategory(QString::fromLatin1(name));
            ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
            EXPECT_TRUE(e.Message().contains(path)) << e.Message().toStdString();
        }
        EXPECT_EQ(m_form.CurrentCategory(), u"love.txt"_s);
        EXPECT_EQ(m_form.Lines().Count(), 50);
        EXPECT_EQ(m_form.CurrentPage(), 1);
        EXPECT_EQ(Slider()->maximum(), 2);
        EXPECT_EQ(View()->document()->toPlainText(), before);
    }
    // From the button the error leaves the click handler for the top-level reporter. The signal
    // is emitted directly: QAbstractButton::click() holds a QPointer guard that Qt's widget code,
    // built without unwinding cleanups, never releases when an error passes through it.
    EXPECT_THROW(emit Child<QToolButton>("AdvGlowButton1")->clicked(), Exception);
    EXPECT_EQ(m_form.CurrentCategory(), u"love.txt"_s);
}

TEST_F(StatusBaseTest, BeforeTheFirstLoadTheViewStaysEmpty)
{
    EXPECT_TRUE(View()->document()->isEmpty());
    EXPECT_FALSE(Left()->isEnabled());
    EXPECT_FALSE(Right()->isEnabled());
    m_form.ShowPage();
    EXPECT_TRUE(View()->document()->isEmpty());
}

TEST(StatusBaseFolder, DefaultsToBaseBesideTheProgram)
{
    TfrmStatusBase form;
    EXPECT_EQ(form.BaseFolder(), QCoreApplication::applicationDirPath() + u"/Base"_s);
}
