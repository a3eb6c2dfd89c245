#include "app/fLog.h"

#include <QApplication>
#include <QScrollBar>
#include <QTextBlockFormat>
#include <QTextBrowser>
#include <QTextCursor>
#include <QVBoxLayout>

#include "app/UiFont.h"

using namespace Qt::StringLiterals;

QString TRVStyle::Name(int index)
{
    static const QString names[Count] = {u"Normal text"_s, u"Heading"_s, u"Subheading"_s, u"Keywords"_s,
                                         u"Jump 1"_s,      u"Jump 2"_s,  u"Gray"_s,       u"Error Text"_s};
    return names[(index >= 0 && index < Count) ? index : Normal];
}

QTextCharFormat TRVStyle::Format(int index)
{
    if (index < 0 || index >= Count)
        index = Normal;
    QTextCharFormat f;
    QFont font = UiFont();
    QColor colour = QApplication::palette().color(QPalette::WindowText);
    switch (index) {
    case 1:
        font.setBold(true);
        colour = Qt::blue;
        break;
    case 2:
        font.setBold(true);
        colour = Qt::darkBlue;
        break;
    case 3:
        font.setItalic(true);
        colour = Qt::darkRed;
        break;
    case 4:
    case 5:
        font.setUnderline(true);
        colour = index == 4 ? QColor(Qt::green).darker() : QColor(Qt::blue);
        break;
    case Gray:
        colour = QColor(128, 128, 128);
        break;
    case Error:
        colour = QColor(255, 0, 0);
        break;
    default:
        break;
    }
    f.setFont(font);
    f.setForeground(colour);
    return f;
}

TfrmLog::TfrmLog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint)
{
    setObjectName(u"frmLog"_s);
    setWindowTitle(u"Лог"_s);
    setFont(UiFont());
    setFixedSize(223, 124);
    RichView1 = new QTextBrowser(this);
    RichView1->setObjectName(u"RichView1"_s);
    RichView1->setReadOnly(true);
    RichView1->setOpenLinks(false);
    RichView1->setUndoRedoEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(RichView1);
}

void TfrmLog::AppendLine(const QString& time, const QString& text, int kind)
{
    QTextDocument* doc = RichView1->document();
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    QTextBlockFormat paragraph;
    paragraph.setAlignment(Qt::AlignLeft);
    // The document starts with one empty block: the first line goes into it.
    if (doc->isEmpty())
        cursor.setBlockFormat(paragraph);
    else
        cursor.insertBlock(paragraph);
    cursor.insertText(u"["_s + time + u"] "_s, TRVStyle::Format(TRVStyle::Gray));
    cursor.insertText(text, TRVStyle::Format(kind));
    ScrollToEnd();
}

void TfrmLog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ScrollToEnd();
}

void TfrmLog::ScrollToEnd()
{
    RichView1->moveCursor(QTextCursor::End);
    QScrollBar* bar = RichView1->verticalScrollBar();
    bar->setValue(bar->maximum());
}
