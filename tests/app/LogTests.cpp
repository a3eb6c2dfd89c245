// The activity log: time format, line structure and colours, the log button and window.
#include <QApplication>
#include <QFontMetrics>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/LogButton.h"
#include "app/LogTime.h"
#include "app/Main.h"
#include "app/fLog.h"

using namespace Qt::StringLiterals;

namespace {

// The character formats of the runs of one paragraph, with their texts.
QList<QPair<QString, QTextCharFormat>> Runs(const QTextBlock& block)
{
    QList<QPair<QString, QTextCharFormat>> runs;
    for (auto it = block.begin(); !it.atEnd(); ++it)
        runs.append({it.fragment().text(), it.fragment().charFormat()});
    return runs;
}

} // namespace

TEST(LogTime, LongFormatWithoutTheZone)
{
    const QTime t(9, 5, 7);
    const QTime evening(21, 5, 7);
    struct
    {
        QLocale locale;
        QTime time;
        QString expected;
    } const cases[] = {
        {QLocale(u"en_US"_s), t, u"9:05:07 AM"_s}, {QLocale(u"en_US"_s), evening, u"9:05:07 PM"_s},
        {QLocale(u"de_DE"_s), t, u"09:05:07"_s},   {QLocale(u"ru_RU"_s), t, u"09:05:07"_s},
        {QLocale(u"C"_s), t, u"09:05:07"_s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatLogTime(c.time, c.locale), c.expected) << c.locale.name().toStdString();
        EXPECT_FALSE(LogTimeFormat(c.locale).contains(u't')) << c.locale.name().toStdString();
    }
    // A 24-hour locale without a leading hour zero, wherever Qt's data puts the zone.
    bool sawUnpadded = false;
    for (const QLocale& l :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        const QString format = LogTimeFormat(l);
        // Locales with digits of their own write other characters.
        if (format == u"H:mm:ss"_s && l.zeroDigit() == u"0"_s) {
            sawUnpadded = true;
            EXPECT_EQ(FormatLogTime(t, l), u"9:05:07"_s) << l.name().toStdString();
        }
        EXPECT_EQ(format.trimmed(), format) << l.name().toStdString();
    }
    EXPECT_TRUE(sawUnpadded);
}

TEST(LogTime, ZoneFieldRemovedWhereverItStands)
{
    // Qt's own formats for these locales place the zone field differently.
    struct
    {
        const char* locale;
        QString expected;
    } const cases[] = {
        {"en_US", u"h:mm:ss AP"_s},
        {"zh_CN", u"HH:mm:ss"_s},
        {"fa_IR", u"H:mm:ss"_s},
    };
    for (const auto& c : cases) {
        const QLocale locale(QString::fromLatin1(c.locale));
        EXPECT_EQ(LogTimeFormat(locale), c.expected)
            << c.locale << " from " << locale.timeFormat(QLocale::LongFormat).toStdString();
    }
}

TEST(Log, LinesRunsAndButtonColour)
{
    AppModules modules;
    modules.Start();
    ShownForm f = MakeForm();
    TForm1* form = f.form.get();
    const QColor face = QApplication::palette().color(QPalette::Button);

    form->AddLog(u"первая"_s, 0);
    EXPECT_EQ(form->btnLog->FaceColor(), face);
    form->AddLog(u"ошибка"_s, 7);
    EXPECT_EQ(form->btnLog->FaceColor(), QColor(243, 189, 189));
    EXPECT_EQ(form->btnLog->Caption(), u"ошибка"_s);
    form->AddLog(u"снова"_s, 0);
    EXPECT_EQ(form->btnLog->FaceColor(), face);
    EXPECT_EQ(form->btnLog->Caption(), u"снова"_s);

    const QStringList lines = LogLines(*form);
    ASSERT_EQ(lines.size(), 3);
    const QRegularExpression shape(u"^\\[[^\\]]+\\] (.*)$"_s);
    EXPECT_TRUE(shape.match(lines[0]).hasMatch()) << lines[0].toStdString();
    EXPECT_EQ(LogTexts(*form), (QStringList{u"первая"_s, u"ошибка"_s, u"снова"_s}));

    const QTextBlock second = form->frmLog->RichView1->document()->begin().next();
    const auto runs = Runs(second);
    ASSERT_EQ(runs.size(), 2);
    EXPECT_TRUE(runs[0].first.startsWith(u'['));
    EXPECT_TRUE(runs[0].first.endsWith(u"] "_s));
    EXPECT_EQ(runs[0].second.foreground().color(), QColor(128, 128, 128));
    EXPECT_EQ(runs[1].first, u"ошибка"_s);
    EXPECT_EQ(runs[1].second.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(Runs(second.next())[1].second.foreground().color(), TRVStyle::Format(0).foreground().color());
    EXPECT_EQ(second.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
}

TEST(Log, WindowShowsEveryLineScrolledToTheNewest)
{
    AppModules modules;
    modules.Start();
    ShownForm f = MakeForm();
    TForm1* form = f.form.get();
    for (int i = 0; i < 60; ++i)
        form->AddLog(u"строка %1"_s.arg(i), i % 7 == 3 ? 7 : 0);
    form->btnLog->click();
    ASSERT_TRUE(WaitFor([&] { return form->frmLog->isVisible(); }));
    QApplication::processEvents();
    EXPECT_EQ(form->frmLog->windowTitle(), u"Лог"_s);
    EXPECT_EQ(form->frmLog->size(), QSize(223, 124));
    EXPECT_EQ(form->frmLog->parentWidget(), form);
    EXPECT_EQ(LogTexts(*form).size(), 60);
    EXPECT_EQ(LogTexts(*form).last(), u"строка 59"_s);
    QScrollBar* bar = form->frmLog->RichView1->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    // Hiding keeps the lines, and the newest is in view again when it comes back.
    form->frmLog->close();
    form->AddLog(u"после"_s, 0);
    form->btnLog->click();
    QApplication::processEvents();
    EXPECT_EQ(LogTexts(*form).size(), 61);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST(LogButton, CaptionIsTheLongestPrefixThatFits)
{
    AppModules modules;
    modules.Start();
    ShownForm f = MakeForm();
    TLogButton* button = f.form->btnLog;
    const QString text = u"Очень длинная строка журнала, которая не помещается на кнопке целиком, "
                         u"сколько бы места ей ни дали в этом маленьком окне"_s;
    button->SetCaption(text);
    const QString shown = button->ShownText();
    ASSERT_LT(shown.size(), text.size());
    EXPECT_TRUE(text.startsWith(shown));
    const QFontMetrics metrics(button->font());
    const int room = button->contentsRect().width() - 8;
    EXPECT_LE(metrics.horizontalAdvance(shown), room);
    EXPECT_GT(metrics.horizontalAdvance(text.left(shown.size() + 1)), room);

    // Wider window, longer prefix; the caption itself stays whole.
    f.form->resize(700, 144);
    QApplication::processEvents();
    EXPECT_GT(button->ShownText().size(), shown.size());
    EXPECT_EQ(button->Caption(), text);

    button->SetCaption(u"коротко"_s);
    EXPECT_EQ(button->ShownText(), u"коротко"_s);
}

TEST(LogButton, FittingNeverSplitsASurrogatePair)
{
    const QFontMetrics metrics(QApplication::font());
    const QString text = u"ab\U0001F600\U0001F600\U0001F600cd"_s;
    for (int width = 0; width < metrics.horizontalAdvance(text); ++width) {
        const QString prefix = TLogButton::FittingPrefix(text, metrics, width);
        ASSERT_TRUE(text.startsWith(prefix));
        EXPECT_FALSE(!prefix.isEmpty() && prefix.back().isHighSurrogate()) << width;
        EXPECT_LE(metrics.horizontalAdvance(prefix), width) << width;
    }
}
