// The main window without a network: its widgets, creation order, geometry, counter and tray.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTextEdit>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/GlowButton.h"
#include "app/LogButton.h"
#include "app/Main.h"
#include "settings/uOptions.h"

using namespace Qt::StringLiterals;

namespace {

template <typename T> T* Child(QWidget* parent, const QString& name)
{
    T* w = parent->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name.toStdString();
    return w;
}

QByteArray OptionsXml(int left, int top, int width, int height, bool maximized)
{
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Options>\r\n  <MainForm Left=\"%1\" "
               "Top=\"%2\" Width=\"%3\" Height=\"%4\" Maximized=\"%5\"/>\r\n</Options>\r\n")
        .arg(left)
        .arg(top)
        .arg(width)
        .arg(height)
        .arg(maximized ? 1 : 0)
        .toUtf8();
}

} // namespace

TEST(MainWindow, WidgetsAsDesigned)
{
    AppModules modules;
    modules.Start();
    ShownForm f = MakeForm(false);
    TForm1* form = f.form.get();
    // Not shown, so nothing has signed in or prompted yet; lay the widgets out all the same.
    form->layout()->activate();

    EXPECT_EQ(form->windowTitle(), u"Quillbox 3.01"_s);
    EXPECT_EQ(form->size(), QSize(396, 144));
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(Qt::white));

    struct
    {
        const char* name;
        QString text;
        QString hint;
    } const buttons[] = {
        {"btnAccount", u"Добавить пользователя"_s, u"Добавить/Сменить пользователя"_s},
        {"btnStatusBase", u"Подобрать статусов"_s, QString()},
        {"btnSend", u"Отправить статус"_s, u"Отправить статус"_s},
    };
    for (const auto& b : buttons) {
        auto* button = Child<QPushButton>(form, QString::fromLatin1(b.name));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), b.text) << b.name;
        EXPECT_EQ(button->toolTip(), b.hint) << b.name;
    }
    EXPECT_TRUE(form->btnAccount->font().bold());
    EXPECT_EQ(form->btnAccount->palette().color(QPalette::ButtonText), QColor(4, 142, 193));
    EXPECT_FALSE(form->btnAccount->icon().isNull());
    EXPECT_FALSE(form->btnSend->isEnabled());
    EXPECT_EQ(form->btnSend->width(), 120);
    EXPECT_EQ(form->btnStatusBase->width(), 120);
    EXPECT_EQ(Child<QLabel>(form, u"lbl1"_s)->text(), u"Осталось символов:"_s);
    EXPECT_EQ(Child<QLabel>(form, u"lblCharCount"_s)->text(), u"255"_s);
    EXPECT_EQ(Child<QWidget>(form, u"Panel1"_s)->height(), 22);
    EXPECT_EQ(Child<QWidget>(form, u"Panel2"_s)->height(), 29);
    EXPECT_EQ(form->btnLog->height(), 18);
    EXPECT_EQ(form->btnLog->width(), 396);
    EXPECT_TRUE(form->btnLog->Caption().isEmpty());
    EXPECT_TRUE(form->RichEdit1->toPlainText().isEmpty());
    EXPECT_FALSE(form->RichEdit1->acceptRichText());

    EXPECT_EQ(form->TrayIcon1->toolTip(), u"Quillbox 3.0"_s);
    EXPECT_FALSE(form->TrayIcon1->icon().isNull());
    ASSERT_EQ(form->TrayIcon1->contextMenu(), form->PopupActionBar1);
    QStringList trayItems;
    for (QAction* a : form->PopupActionBar1->actions())
        trayItems.append(a->text());
    EXPECT_EQ(trayItems, (QStringList{u"Развернуть"_s, u"Каталог статусов"_s, u"Закрыть Quillbox"_s}));
    EXPECT_FALSE(form->actBase->icon().isNull());
    EXPECT_EQ(form->ilInfo2.size(), 7u);

    QStringList editorItems;
    for (QAction* a : form->PopupActionBar2->actions())
        editorItems.append(a->text() + u'|' + a->shortcut().toString(QKeySequence::PortableText));
    EXPECT_EQ(editorItems,
              (QStringList{u"&Копировать|Ctrl+C"_s, u"&Вставить|Ctrl+V"_s, u"Выделить всё|Ctrl+A"_s}));
}

TEST(MainWindow, CaptionsFitTheirButtons)
{
    AppModules modules;
    modules.Start();
    ShownForm f = MakeForm();
    // Whatever the font, every caption is whole inside its button.
    for (QPushButton* b : {f.form->btnAccount, f.form->btnStatusBase, f.form->btnSend}) {
        auto* glow = qobject_cast<TGlowButton*>(b);
        ASSERT_NE(glow, nullptr);
        const int room = b->width() - 6 - (b->icon().isNull() ? 0 : 20);
        EXPECT_LE(QFontMetrics(glow->CaptionFont()).horizontalAdvance(b->text()), room)
            << b->text().toStdString();
    }
}

TEST(MainWindow, EditorMenuCopiesPastesAndSelects)
{
    AppModules modules;
    modules.Start();
    ShownForm f = MakeForm();
    f.form->SetStatusText(u"ab"_s);
    f.form->actSelectAll->trigger();
    EXPECT_EQ(f.form->RichEdit1->textCursor().selectedText(), u"ab"_s);
    f.form->actCopy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"ab"_s);
    f.form->RichEdit1->moveCursor(QTextCursor::End);
    f.form->actPaste->trigger();
    EXPECT_EQ(f.form->StatusText(), u"abab"_s);
}

// Options.xml is read before the version check starts, a broken one gives the defaults silently.
TEST(MainWindow, CreationReadsOptionsBeforeTheVersionCheck)
{
    for (const bool broken : {false, true}) {
        AppModules modules;
        modules.WriteFile(u"Options.xml"_s, broken ? QByteArray("<Options><MainForm Left=")
                                                   : OptionsXml(5, 6, 500, 300, false));
        modules.Start();
        int widthSeen = -1;
        QWidget* ownerSeen = nullptr;
        modules.onVersionCheck = [&](QWidget* owner) {
            widthSeen = Options->Width();
            ownerSeen = owner;
        };
        ShownForm f = MakeForm(false);
        EXPECT_EQ(modules.versionChecksStarted, 1);
        EXPECT_EQ(ownerSeen, f.form.get());
        EXPECT_EQ(widthSeen, broken ? 0 : 500) << broken;
        EXPECT_TRUE(modules.errorBoxes.isEmpty());
    }
}

TEST(MainWindow, StoredGeometry)
{
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case
    {
        const char* what;
        int left, top, width, height;
        bool maximized;
        QRect expected; // the window's frame; empty: designed size, centred
        QPoint stored;  // Left and Top kept in Options
    };
    const Case cases[] = {
        {"no width", 10, 20, 0, 300, true, QRect(), QPoint(10, 20)},
        {"no height", 10, 20, 500, 0, false, QRect(), QPoint(10, 20)},
        {"on screen", 30, 40, 500, 300, false, QRect(30, 40, 500, 300), QPoint(30, 40)},
        {"negative corner", -50, -10, 500, 300, false, QRect(0, 0, 500, 300), QPoint(0, 0)},
        {"below the screen", 15, screen.height() + 1, 500, 300, false,
         QRect(15, screen.height() - 300, 500, 300), QPoint(15, screen.height() - 300)},
        {"right of the screen", screen.width() + 10, 5, 500, 300, false,
         QRect(screen.width() - 500, 5, 500, 300), QPoint(screen.width() - 500, 5)},
        {"reaching past the edges", screen.width() - 100, screen.height() - 100, 500, 300, false,
         QRect(screen.width() - 100, screen.height() - 100, 500, 300),
         QPoint(screen.width() - 100, screen.height() - 100)},
    };
    for (const Case& c : cases) {
        AppModules modules;
        modules.WriteFile(u"Options.xml"_s, OptionsXml(c.left, c.top, c.width, c.height, c.maximized));
        modules.Start();
        ShownForm f = MakeForm();
        const QRect frame = f.form->frameGeometry();
        if (c.expected.isNull()) {
            // The designed size is the client area's.
            EXPECT_EQ(f.form->size(), QSize(396, 144)) << c.what;
            EXPECT_EQ(frame.center(), area.center()) << c.what;
            EXPECT_FALSE(f.form->isMaximized()) << c.what;
        } else {
            EXPECT_EQ(frame, c.expected) << c.what;
        }
        EXPECT_EQ(QPoint(Options->Left(), Options->Top()), c.stored) << c.what;
        // Moving the window changes nothing that is saved.
        f.form->move(frame.topLeft() + QPoint(7, 9));
        QApplication::processEvents();
        EXPECT_EQ(QPoint(Options->Left(), Options->Top()), c.stored) << c.what;
        EXPECT_EQ(Options->Width(), c.width) << c.what;
    }
}

TEST(MainWindow, StoredMaximizedOpensMaximized)
{
    AppModules modules;
    modules.WriteFile(u"Options.xml"_s, OptionsXml(10, 10, 500, 300, true));
    modules.Start();
    ShownForm f = MakeForm();
    EXPECT_TRUE(f.form->isMaximized());
}

TEST(MainWindow, CounterCountsUtf16UnitsOfTheRawText)
{
    AppModules modules;
    modules.Start();
    ShownForm f = MakeForm(false);
    struct
    {
        QString text;
        int left;
        QString sent;
    } const cases[] = {
        {QString(), 255, QString()},
        {QString(256, u'я'), -1, QString(256, u'я')},
        {QString(255, u'x'), 0, QString(255, u'x')},
        {u"a\nb"_s, 252, u"a\nb"_s},
        {u"a\u00A0b"_s, 252, u"a\u00A0b"_s},     // the no-break space stays one
        {u"\U0001F600"_s, 253, u"\U0001F600"_s}, // outside the BMP: two units
        {u"  x  "_s, 250, u"  x  "_s},
    };
    for (const auto& c : cases) {
        f.form->SetStatusText(c.text);
        EXPECT_EQ(f.form->lblCharCount->text(), QString::number(c.left)) << c.text.toStdString();
        EXPECT_EQ(f.form->StatusText(), c.sent) << c.text.toStdString();
    }
    // Typing reaches the counter the same way.
    f.form->SetStatusText(QString());
    f.form->RichEdit1->insertPlainText(u"abc"_s);
    EXPECT_EQ(f.form->lblCharCount->text(), u"252"_s);
}

TEST(MainWindow, MinimiseHidesInTheTrayAndShowsTheBalloonOnce)
{
    AppModules modules;
    modules.Start();
    ShownForm f = MakeForm();
    TForm1* form = f.form.get();

    form->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(WaitFor([&] { return !form->isVisible(); }, 2000));
    EXPECT_EQ(f.tray->balloons, QStringList{u"Quillbox: Теперь я тут! :)"_s});

    const int clearsBefore = f.tray->clears;
    form->actMaximize->trigger();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_GT(f.tray->clears, clearsBefore);

    form->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(WaitFor([&] { return !form->isVisible(); }, 2000));
    EXPECT_EQ(f.tray->balloons.size(), 1);
    form->TrayIcon1Click();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
}

TEST(MainWindow, WithoutATrayMinimiseIsOrdinary)
{
    AppModules modules;
    modules.Start();
    ShownForm f = MakeForm();
    f.tray->available = false;
    f.form->setWindowState(Qt::WindowMinimized);
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_TRUE(f.form->isVisible());
    EXPECT_TRUE(f.form->isMinimized());
    EXPECT_TRUE(f.tray->balloons.isEmpty());
    // The tray is asked again at the next minimise: it may have started meanwhile.
    f.form->setWindowState(Qt::WindowNoState);
    f.tray->available = true;
    f.form->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(WaitFor([&] { return !f.form->isVisible(); }, 2000));
    EXPECT_EQ(f.tray->balloons.size(), 1);
}

TEST(MainWindow, ClosingRunsTheEndOnce)
{
    AppModules modules;
    modules.Start();
    ShownForm f = MakeForm();
    int ends = 0;
    f.form->SetOnClosed([&] { ++ends; });
    // Hidden in the tray, the exit item still ends the program.
    f.form->hide();
    f.form->actExit->trigger();
    f.form->close();
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(f.form->IsClosing());
}
