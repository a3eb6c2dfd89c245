#include "AppTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

#include "accounts/Accounts.h"
#include "app/ErrorReporter.h"
#include "app/Main.h"
#include "app/fLoading.h"
#include "app/fLog.h"
#include "net/CookieJar.h"
#include "settings/uOptions.h"

using namespace Qt::StringLiterals;

AppModules::AppModules()
{
    SetErrorBox([this](const QString& message) { errorBoxes.append(message); });
    SetErrorBoxSuppressed(false);
    TForm1::SetVersionCheckStarter([this](QWidget* mainWindow, std::function<void()>) {
        ++versionChecksStarted;
        if (onVersionCheck)
            onVersionCheck(mainWindow);
    });
    QDir().mkpath(m_data.DataFolder());
}

void AppModules::Start()
{
    CookieJarStart();
    OptionsStart();
    LoadAccounts();
    m_started = true;
}

AppModules::~AppModules()
{
    if (m_started) {
        DiscardAccounts();
        OptionsStop();
        CookieJarStop();
    }
    SetErrorBox(nullptr);
    TForm1::SetVersionCheckStarter([](QWidget*, std::function<void()>) {});
}

void AppModules::WriteFile(const QString& name, const QByteArray& bytes) const
{
    QFile file(m_data.DataFolder() + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

ShownForm MakeForm(bool show)
{
    ShownForm f;
    f.form = std::make_unique<TForm1>();
    f.loader = std::make_unique<TfrmLoader>(f.form.get());
    f.form->SetLoader(f.loader.get());
    f.tray = std::make_shared<FakeTray::State>();
    f.form->SetTray(std::make_unique<FakeTray>(f.tray));
    if (show) {
        f.form->show();
        f.form->activateWindow();
        // Offscreen, the busy indicator of a sign-in takes the activation away at once.
        WaitFor(
            [&] { return f.form->isActiveWindow() || f.loader->isVisible() || !LogLines(*f.form).isEmpty(); },
            2000);
    }
    return f;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

std::shared_ptr<bool> AnswerNextModal(std::function<void(QWidget*)> answer, int timeoutMs)
{
    auto seen = std::make_shared<bool>(false);
    auto* poll = new QTimer(qApp);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(poll, &QTimer::timeout, qApp, [poll, seen, started, answer, timeoutMs] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            *seen = true;
            answer(modal);
        } else if (started->elapsed() > timeoutMs) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(10);
    return seen;
}

QStringList LogLines(const TForm1& form)
{
    QStringList lines;
    const QTextDocument* doc = form.frmLog->RichView1->document();
    if (doc->isEmpty())
        return lines;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        lines.append(b.text());
    return lines;
}

QStringList LogTexts(const TForm1& form)
{
    QStringList texts;
    for (const QString& line : LogLines(form)) {
        const qsizetype end = line.indexOf(u"] "_s);
        texts.append(end < 0 ? line : line.mid(end + 2));
    }
    return texts;
}
