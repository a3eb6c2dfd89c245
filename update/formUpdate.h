#pragma once

#include <functional>

#include <QDialog>
#include <QString>
#include <QStringList>
#include <QUrl>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// The new-version notice.
class TfrmUpdate : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmUpdate(QWidget* parent = nullptr);

    // Runs after the download was opened; ends the program in order.
    void SetCloseMainWindow(std::function<void()> closeMainWindow);
    // Label1 names the announced version, Memo1 gets the release notes one per line.
    void SetAnnouncement(const QString& version, const QStringList& notes);
    // Centres the window over owner, kept on owner's screen.
    void CenterOver(const QWidget* owner);

    void Button1Click(); // "Скачать новую версию" and a click on the bare bottom strip
    void Label3Click();  // "Сайт программы"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_closeMainWindow;
    QLabel* m_label1 = nullptr;
    QPlainTextEdit* m_memo1 = nullptr;
    QLabel* m_label3 = nullptr;
    QPushButton* m_advGlowButton1 = nullptr;
};

// Seam for opening a web address; the production wiring is QDesktopServices::openUrl.
void SetUrlOpener(std::function<void(const QUrl&)> opener);
void OpenUrl(const QUrl& url);

// The background version check and its usage hit. Started once by the main window's creation.
class TCheckNewVersion
{
public:
    // mainWindow owns the notice shown (no notice without it); closeMainWindow ends the program in
    // order. A second Start while a check is still running does nothing.
    static void Start(QWidget* mainWindow, std::function<void()> closeMainWindow);
    // Tells the thread to stop: a hand-over that runs afterwards shows nothing, a hit not yet
    // started is not sent. Together with HttpAbortAll, which aborts its waiting transfer.
    // Call before the message loop ends.
    static void RequestStop();
    // After the message loop has ended: drops pending hand-overs and waits at most timeoutMs.
    // False when the thread is still running.
    static bool WaitForStop(int timeoutMs);

    // Test seam: runs on the worker right before it posts the notice's hand-over.
    static void SetHandOverHook(std::function<void()> hook);
};
