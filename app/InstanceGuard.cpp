#include "app/InstanceGuard.h"

#include <memory>

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include "settings/uOptions.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxMessage = 1024;
constexpr int kClientTimeoutMs = 5000;

QString WithSlash(const QString& folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

} // namespace

TInstanceGuard::TInstanceGuard(const QString& folder)
    : m_folder(folder.isEmpty() ? QString() : WithSlash(folder))
{
}

TInstanceGuard::~TInstanceGuard()
{
    Release();
}

QString TInstanceGuard::DefaultFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return WithSlash(runtime);
    // A bare socket name would land in /tmp, shared by every user: keep our own private folder.
    const QString own = (Options ? Options->DataFolder() : QDir::homePath() + u"/"_s) + u"run/"_s;
    QDir().mkpath(own);
    QFile::setPermissions(own, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return own;
}

QString TInstanceGuard::LockPath() const
{
    return m_folder + u"Quillbox.lock"_s;
}

QString TInstanceGuard::SocketPath() const
{
    return m_folder + u"Quillbox"_s;
}

TInstanceGuard::TResult TInstanceGuard::Acquire()
{
    if (m_folder.isEmpty())
        m_folder = DefaultFolder();
    m_lock = std::make_unique<QLockFile>(LockPath());
    // Only a dead holder makes a lock stale, never its age: the program runs for days.
    m_lock->setStaleLockTime(0);
    // A holder writes its details right after creating the file; give a young lock a moment
    // before calling it broken.
    for (int attempt = 0;; ++attempt) {
        if (m_lock->tryLock(0))
            return TResult::First;
        switch (m_lock->error()) {
        case QLockFile::LockFailedError: {
            qint64 pid = 0;
            if (m_lock->getLockInfo(&pid, nullptr, nullptr) && pid > 0)
                return TResult::Second;
            if (attempt < 20) {
                QThread::msleep(50);
                continue;
            }
            m_error =
                u"Файл блокировки %1 занят, но не принадлежит ни одному процессу Quillbox"_s.arg(LockPath());
            return TResult::Error;
        }
        case QLockFile::PermissionError:
            m_error = u"Нет доступа к файлу блокировки %1"_s.arg(LockPath());
            return TResult::Error;
        default:
            m_error = u"Не удалось создать файл блокировки %1"_s.arg(LockPath());
            return TResult::Error;
        }
    }
}

bool TInstanceGuard::Listen(std::function<void(const QString&)> onMessage)
{
    m_onMessage = std::move(onMessage);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket file left here belongs to a holder that died.
    QLocalServer::removeServer(SocketPath());
    if (!m_server->listen(SocketPath())) {
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &TInstanceGuard::Accept);
    return true;
}

void TInstanceGuard::Accept()
{
    struct TReceived
    {
        QByteArray data;
        bool refused = false;
    };
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        // Shared by the connections below, freed with the socket that owns them.
        auto received = std::make_shared<TReceived>();
        auto refuse = [client, received] {
            received->refused = true;
            client->abort();
            client->deleteLater();
        };
        QTimer::singleShot(kClientTimeoutMs, client, refuse);
        connect(client, &QLocalSocket::readyRead, client, [client, received, refuse] {
            received->data.append(client->readAll());
            if (received->data.size() > kMaxMessage)
                refuse();
        });
        connect(client, &QLocalSocket::disconnected, this, [this, client, received] {
            if (received->refused)
                return;
            received->data.append(client->readAll());
            client->deleteLater();
            if (received->data.size() <= kMaxMessage && m_onMessage)
                m_onMessage(QString::fromUtf8(received->data));
        });
    }
}

bool TInstanceGuard::SendToHolder(const QString& message) const
{
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(2000))
        return false;
    socket.write(message.toUtf8());
    if (!socket.waitForBytesWritten(2000))
        return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(2000);
    return true;
}

void TInstanceGuard::Release()
{
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    if (m_lock) {
        m_lock->unlock();
        m_lock.reset();
    }
}
