#pragma once

#include <functional>
#include <memory>

#include <QString>
#include <QStringList>
#include <QWidget>

#include "tests/testsupport/TempDataFolder.h"
#include "app/Main.h"
#include "app/Tray.h"
#include "app/fLoading.h"

// A tray whose availability the test decides, recording what the window asks of it.
class FakeTray : public TTray
{
public:
    struct State
    {
        bool available = true;
        QStringList balloons;
        int clears = 0;
    };
    explicit FakeTray(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    bool Available() const override { return m_state->available; }
    void ShowBalloon(const QString& text) override { m_state->balloons.append(text); }
    void ClearBalloon() override { ++m_state->clears; }

private:
    std::shared_ptr<State> m_state;
};

// The process-wide modules a main window needs, over a fresh data folder, and the seams set so
// that nothing leaves the test: the version check and the error box are recorded.
class AppModules
{
public:
    AppModules();
    ~AppModules();

    QString DataFolder() const { return m_data.DataFolder(); }
    // Starts the modules; files to be read at start-up must be written before.
    void Start();
    void WriteFile(const QString& name, const QByteArray& bytes) const;

    QStringList errorBoxes;
    int versionChecksStarted = 0;
    std::function<void(QWidget*)> onVersionCheck;

private:
    TempDataFolder m_data;
    bool m_started = false;
};

// A main window with a fake tray, a loader, shown and activated.
struct ShownForm
{
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TfrmLoader> loader;
    std::shared_ptr<FakeTray::State> tray;
};
ShownForm MakeForm(bool show = true);

// Processes events until done() holds or timeoutMs passed; returns done().
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000);
// Answers the next modal dialog from inside its own event loop: answer gets the dialog.
// Returns a flag that becomes true once the dialog was seen.
std::shared_ptr<bool> AnswerNextModal(std::function<void(QWidget* dialog)> answer, int timeoutMs = 15000);
// The log lines of the window, one per paragraph.
QStringList LogLines(const TForm1& form);
// The log lines without their "[time] " run.
QStringList LogTexts(const TForm1& form);
