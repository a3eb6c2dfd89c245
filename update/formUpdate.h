#pragma once

#include <functional>

#include <QDialog>
#include <QString>
#include <QUrl>

class QWidget;

// The new-version notice.
class TfrmUpdate : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmUpdate(QWidget* parent = nullptr);
};

// Seam for opening a web address; the production wiring is QDesktopServices::openUrl.
void SetUrlOpener(std::function<void(const QUrl&)> opener);

// The background version check and its usage hit. Started once by the main window's creation.
class TCheckNewVersion
{
public:
    // mainWindow owns the notice shown; closeMainWindow ends the program in order.
    static void Start(QWidget* mainWindow, std::function<void()> closeMainWindow);
    // Tells the thread to stop: its waiting transfer aborts, a hit not yet started is not sent.
    // Call before the message loop ends.
    static void RequestStop();
    // After the message loop has ended: drops pending hand-overs and waits at most timeoutMs.
    // False when the thread is still running.
    static bool WaitForStop(int timeoutMs);
};
