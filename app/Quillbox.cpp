#include "app/Quillbox.h"

#include <cstdio>
#include <memory>

#include <unistd.h>

#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>

#include "accounts/Accounts.h"
#include "app/ErrorReporter.h"
#include "app/InstanceGuard.h"
#include "app/Main.h"
#include "app/SignalPipe.h"
#include "app/TApplication.h"
#include "app/fLoading.h"
#include "catalog/fStatusBase.h"
#include "net/AsyncHttp.h"
#include "net/CookieJar.h"
#include "settings/uOptions.h"
#include "update/formUpdate.h"

using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"Quillbox 3.01"_s;
constexpr int kWorkerWaitMs = 2000;

void PrintError(const QString& message)
{
    std::fprintf(stderr, "Quillbox: %s\n", message.toLocal8Bit().constData());
}

// Writes acc.lst, then Options.xml. False when either failed (the old file stays whole then).
bool SaveFiles()
{
    bool ok = true;
    const QString accountsError = SaveAccounts();
    if (!accountsError.isEmpty()) {
        PrintError(accountsError);
        ok = false;
    }
    try {
        Options->Save();
    } catch (const std::exception& e) {
        PrintError(QString::fromUtf8(e.what()));
        ok = false;
    }
    return ok;
}

// Before any window exists, and on the offscreen platform nobody could answer a box.
void ShowStartupError(const QString& message)
{
    PrintError(message);
    if (QGuiApplication::platformName() != u"offscreen"_s)
        QMessageBox::critical(nullptr, u"Quillbox"_s, message);
}

void StopModules()
{
    OptionsStop();
    CookieJarStop();
    HttpGlobalCleanup();
}

} // namespace

void ReceiveHandOver(TForm1* form, const QString& message)
{
    if (form && message == kTitle && form->windowTitle() == message)
        form->TrayIcon1Click();
}

int QuillboxMain(int& argc, char** argv)
{
    HttpGlobalInit();
    CookieJarStart();
    OptionsStart();
    LoadAccounts();

    QGuiApplication::setApplicationName(u"Quillbox"_s);
    QGuiApplication::setDesktopFileName(u"io.github.quillbox.Quillbox"_s);
    TApplication app(argc, argv);
    // The loop ends when the main window closes, never because the last visible window did.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(u":/app/tray.png"_s));
    // From here on a signal is kept until the loop runs, and then closes the main window.
    QPointer<TForm1> mainWindow;
    TSignalPipe signalPipe([&mainWindow](int) {
        if (mainWindow)
            mainWindow->close();
        else
            QCoreApplication::exit(0); // a start-up error box is open
    });

    TInstanceGuard guard;
    switch (guard.Acquire()) {
    case TInstanceGuard::TResult::Second:
        // The running instance shows itself; this one writes nothing and ends.
        guard.SendToHolder(kTitle);
        DiscardAccounts();
        StopModules();
        return 0;
    case TInstanceGuard::TResult::Error:
        ShowStartupError(guard.ErrorText());
        DiscardAccounts();
        StopModules();
        return 1;
    case TInstanceGuard::TResult::First:
        break;
    }

    auto form = std::make_unique<TForm1>();
    mainWindow = form.get();
    auto statusBase = std::make_unique<TfrmStatusBase>();
    statusBase->SetStatusTarget([form = QPointer<TForm1>(form.get())](const QString& status) {
        if (form)
            form->SetStatusText(status);
    });
    form->SetStatusBase(statusBase.get());
    auto loader = std::make_unique<TfrmLoader>(form.get());
    form->SetLoader(loader.get());
    auto notice = std::make_unique<TfrmUpdate>();

    form->SetOnClosed([] {
        // In this order: the worker must see its stop flag before a notice's modal run returns.
        SetErrorBoxSuppressed(true);
        TCheckNewVersion::RequestStop();
        HttpAbortAll();
        QCoreApplication::exit(0);
    });
    if (!guard.Listen([form = QPointer<TForm1>(form.get())](const QString& message) {
            ReceiveHandOver(form.data(), message);
        }))
        PrintError(u"Не удалось открыть сокет %1: второй запуск не сможет показать это окно"_s.arg(
            guard.SocketPath()));

    form->show();
    app.exec();

    if (!TCheckNewVersion::WaitForStop(kWorkerWaitMs)) {
        // The worker may still use the windows, Options and the cookie jar: save and end without
        // releasing them.
        const bool saved = SaveFiles();
        guard.Release();
        std::fflush(stderr);
        _exit(saved ? 0 : 1);
    }

    notice.reset();
    loader.reset();
    statusBase.reset();
    form.reset();
    const bool saved = SaveFiles();
    StopModules();
    guard.Release();
    return saved ? 0 : 1;
}
