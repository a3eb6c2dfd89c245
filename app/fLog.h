#pragma once

#include <QDialog>
#include <QString>
#include <QTextCharFormat>

class QTextBrowser;

// The text styles of the log view; a line's kind is an index into this table.
class TRVStyle
{
public:
    static constexpr int Count = 8;
    static constexpr int Normal = 0;
    static constexpr int Gray = 6;
    static constexpr int Error = 7;
    static QString Name(int index);
    // Indices outside the table fall back to the normal style.
    static QTextCharFormat Format(int index);
};

// The activity log window: every line of the run, in order, newest at the bottom.
class TfrmLog : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmLog(QWidget* owner);

    // One paragraph: the time run in grey, then the text in the style of its kind.
    void AppendLine(const QString& time, const QString& text, int kind);
    QTextBrowser* RichView1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ScrollToEnd();
};
