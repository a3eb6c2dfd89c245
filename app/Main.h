#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "app/MainGeometry.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTextEdit;
class TfrmLoader;
class TfrmLog;
class TfrmStatusBase;
class TLogButton;
class TTray;
class TVKApi;

// The main window and the controller of the status workflow: pick an account, sign in, show the
// account's status, send an edited one. Minimising hides it behind the tray icon.
class TForm1 : public QWidget
{
    Q_OBJECT
public:
    static constexpr int MaxStatusLength = 255;

    using VersionCheckStarter =
        std::function<void(QWidget* mainWindow, std::function<void()> closeMainWindow)>;
    // Seam for the background version check started by the creation; TCheckNewVersion::Start by
    // default. Set it before creating the window.
    static void SetVersionCheckStarter(VersionCheckStarter starter);

    TForm1();
    ~TForm1() override;

    QWidget* Panel3;
    QWidget* Panel1;
    QPushButton* btnAccount;
    QPushButton* btnStatusBase;
    QTextEdit* RichEdit1;
    QWidget* Panel2;
    QLabel* lbl1;
    QLabel* lblCharCount;
    QPushButton* btnSend;
    TLogButton* btnLog;
    QSystemTrayIcon* TrayIcon1;
    QMenu* PopupActionBar1;
    QAction* actMaximize;
    QAction* actBase;
    QAction* actExit;
    QMenu* PopupActionBar2;
    QAction* actCopy;
    QAction* actPaste;
    QAction* actSelectAll;
    std::vector<QIcon> ilInfo2;
    TfrmLog* frmLog;
    std::unique_ptr<TVKApi> VKApi;

    void AddLog(const QString& text, int kind);

    void AutoSignIn();
    bool SignIn();
    void RetryLogin(const QString& login, const QString& password);
    void LoadCurrentStatus();
    void AddUser();

    void FormActivate();
    void btnAccountClick();
    void btnSendClick();
    void RichEdit1Change();
    void btnStatusBaseClick();
    void btnLogClick();
    void TrayIcon1Click();
    void actExitExecute();

    // The editor's text as the counter counts it and the send sends it: paragraph and line
    // breaks as "\n", every other character (a no-break space too) unchanged.
    QString StatusText() const;
    void SetStatusText(const QString& text);

    void SetLoader(TfrmLoader* loader);
    void SetStatusBase(TfrmStatusBase* statusBase);
    void SetTray(std::unique_ptr<TTray> tray);
    // Runs once, when the window closes: the program ends then.
    void SetOnClosed(std::function<void()> onClosed);
    bool IsClosing() const { return m_closing; }
    const TPlacement& Placement() const { return m_placement; }

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateWidgets();
    void CreateTray();
    void CreateEditorMenu();
    void FormCreate();
    void ApplyStoredGeometry();
    void FitToFrame();
    void Minimized();
    void ShowEditorMenu(const QPoint& pos);
    void SetAccountCaption(const QString& caption);

    QPointer<TfrmLoader> m_loader;
    QPointer<TfrmStatusBase> m_statusBase;
    std::unique_ptr<TTray> m_tray;
    std::function<void()> m_onClosed;
    TPlacement m_placement;
    bool m_frameFitPending = false;
    bool m_activatedOnce = false;
    bool m_balloonShown = false;
    bool m_closing = false;
};
