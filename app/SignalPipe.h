#pragma once

#include <functional>

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a call on the user-interface thread: the handler only
// writes the signal number into a socket pair, a QSocketNotifier reads it from the event loop.
class TSignalPipe : public QObject
{
    Q_OBJECT
public:
    explicit TSignalPipe(std::function<void(int signal)> onSignal);
    ~TSignalPipe() override;
    bool IsValid() const { return m_notifier != nullptr; }

private:
    void Drain();

    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};
