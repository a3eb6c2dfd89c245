#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QString>

class QLocalServer;
class QLockFile;

// One running instance per user: the lock file "Quillbox.lock" and the local socket "Quillbox"
// in the user's runtime folder (or, where there is none, an owner-only folder in the data
// folder). A second instance sends the main window's title over the socket and ends.
class TInstanceGuard : public QObject
{
    Q_OBJECT
public:
    enum class TResult { First, Second, Error };

    // folder: where lock and socket live; empty means the runtime folder or its fallback.
    explicit TInstanceGuard(const QString& folder = QString());
    ~TInstanceGuard() override;

    // Takes the lock. Error leaves the reason in ErrorText().
    TResult Acquire();
    QString ErrorText() const { return m_error; }

    // The holder: removes a stale socket and listens; every complete message reaches onMessage.
    // False when the socket cannot be set up (the program runs on, without hand-over).
    bool Listen(std::function<void(const QString& message)> onMessage);
    // A second instance: sends message to the holder. False when nobody took it.
    bool SendToHolder(const QString& message) const;
    // Releases the lock and the socket.
    void Release();

    QString LockPath() const;
    QString SocketPath() const;
    static QString DefaultFolder();

private:
    void Accept();

    QString m_folder;
    QString m_error;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    std::function<void(const QString&)> m_onMessage;
};
