#include "update/formUpdate.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPointer>

#include "net/AsyncHttp.h"
#include "net/TextFile.h"
#include "update/GA.h"

using namespace Qt::StringLiterals;

namespace {

const QString OwnVersion = u"3.01"_s;

struct CheckState
{
    std::mutex lock;
    std::condition_variable ended;
    bool running = false;               // under lock
    std::function<void()> handOverHook; // under lock
    std::atomic<bool> stop = false;
    QObject* context = nullptr;            // receives the hand-overs; lives on the UI thread
    QPointer<QWidget> mainWindow;          // UI thread only
    std::function<void()> closeMainWindow; // UI thread only
};

CheckState& State()
{
    static CheckState state;
    return state;
}

bool Stopping()
{
    return State().stop.load();
}

// Blanks and control characters (codes 0 to 32) at both ends; QString::trimmed would also take
// Unicode spaces and leave the control characters.
QString TrimControls(const QString& s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && s.at(end - 1).unicode() <= 32)
        --end;
    return s.mid(begin, end - begin);
}

// On the UI thread, inside the worker's hand-over.
void ShowNotice(const QString& version, const QStringList& notes)
{
    CheckState& state = State();
    // Once stopping, the message loop may already have ended: nothing modal may open.
    if (state.stop.load())
        return;
    QWidget* owner = state.mainWindow;
    if (!owner)
        return;
    try {
        auto* notice = new TfrmUpdate(owner); // owned by the main window until the program ends
        notice->SetCloseMainWindow(state.closeMainWindow);
        notice->SetAnnouncement(version, notes);
        notice->CenterOver(owner);
        notice->exec();
    } catch (...) {
        // The check never reports its own failures.
    }
}

void HandOver(QObject* context, const QString& version, const QStringList& notes)
{
    std::function<void()> hook;
    {
        std::lock_guard guard(State().lock);
        hook = State().handOverHook;
    }
    if (hook)
        hook();
    // The result is not looked at: the stop flag tells the worker whether to go on.
    QMetaObject::invokeMethod(
        context, [&version, &notes] { ShowNotice(version, notes); }, Qt::BlockingQueuedConnection);
}

void Execute(QObject* context)
{
    try {
        QStringList lines =
            SplitLines(HttpFetch(u"http://" QUILLBOX_UPDATE_HOST "/quillbox.ver"_s, QString()));
        if (!lines.isEmpty() && !Stopping()) {
            const QString announced = TrimControls(lines.first());
            if (announced != OwnVersion) {
                lines.removeFirst();
                HandOver(context, announced, lines);
            }
        }
    } catch (...) {
    }
    if (!Stopping()) {
        try {
            TGA ga;
            if (!Stopping())
                ga.TrackEvent(u"Load"_s, u"Quillbox"_s, OwnVersion, QString());
        } catch (...) {
        }
    }
    CheckState& state = State();
    {
        std::lock_guard guard(state.lock);
        state.running = false;
    }
    state.ended.notify_all();
}

} // namespace

void TCheckNewVersion::Start(QWidget* mainWindow, std::function<void()> closeMainWindow)
{
    CheckState& state = State();
    {
        std::lock_guard guard(state.lock);
        if (state.running)
            return;
        state.running = true;
    }
    state.stop = false;
    if (!state.context)
        state.context = new QObject(QCoreApplication::instance());
    state.mainWindow = mainWindow;
    state.closeMainWindow = std::move(closeMainWindow);
    QObject* context = state.context;
    try {
        std::thread([context] { Execute(context); }).detach();
    } catch (...) {
        std::lock_guard guard(state.lock);
        state.running = false;
    }
}

void TCheckNewVersion::RequestStop()
{
    State().stop = true;
}

bool TCheckNewVersion::WaitForStop(int timeoutMs)
{
    using namespace std::chrono;
    CheckState& state = State();
    state.stop = true;
    const auto deadline = steady_clock::now() + milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        // A hand-over posted before the worker saw the flag waits for an event loop that no longer
        // runs: deliver it here, where it returns at once.
        if (state.context)
            QCoreApplication::sendPostedEvents(state.context, QEvent::MetaCall);
        std::unique_lock guard(state.lock);
        if (!state.running)
            return true;
        const auto now = steady_clock::now();
        if (now >= deadline)
            return false;
        state.ended.wait_for(guard, std::min<steady_clock::duration>(deadline - now, milliseconds(10)));
    }
}

void TCheckNewVersion::SetHandOverHook(std::function<void()> hook)
{
    std::lock_guard guard(State().lock);
    State().handOverHook = std::move(hook);
}
