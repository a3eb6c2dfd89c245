#include "Harness.h"

#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QThread>

#include <httplib.h>

using namespace Qt::StringLiterals;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        if (condition())
            return true;
        if (t.elapsed() >= timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(50);
    }
}

Port80Emulator::Port80Emulator(const QString& logPath) : m_logPath(logPath)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral(E2E_VKEMU), {u"--listen"_s, u"127.0.0.1"_s, u"--port"_s, u"80"_s,
                                                u"--demo"_s, u"--log"_s, logPath, u"--die-with-parent"_s});
    if (!m_process.waitForStarted(5000)) {
        m_error = u"vkemu did not start: "_s + m_process.errorString();
        return;
    }
    QByteArray out;
    m_started = WaitUntil(
        [&] {
            out += m_process.readAllStandardOutput();
            return out.startsWith("PORT 80\n") || m_process.state() == QProcess::NotRunning;
        },
        std::chrono::seconds(10));
    m_started = m_started && out.startsWith("PORT 80\n");
    if (!m_started)
        m_error =
            u"vkemu did not listen on port 80: "_s + QString::fromLocal8Bit(m_process.readAllStandardError());
}

Port80Emulator::~Port80Emulator()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }
}

QList<VkEmuRequest> Port80Emulator::Requests() const
{
    return ReadVkEmuLog(m_logPath);
}

QJsonObject Port80Emulator::State() const
{
    httplib::Client client("127.0.0.1", 80);
    client.set_connection_timeout(5);
    client.set_read_timeout(5);
    const httplib::Result res = client.Get("/__emu/state");
    if (!res || res->status != 200)
        return {};
    return QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object();
}

QString Port80Emulator::StatusOf(const QString& login) const
{
    for (const QJsonValue& a : State().value(u"accounts"_s).toArray()) {
        if (a.toObject().value(u"login"_s).toString() == login)
            return a.toObject().value(u"status"_s).toString();
    }
    return {};
}

Home::Home()
{
    QDir root(m_dir.path());
    root.mkpath(u"data/Quillbox"_s);
    root.mkpath(u"run"_s);
    QFile::setPermissions(root.filePath(u"run"_s),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QString Home::DataFolder() const
{
    return QDir(m_dir.path()).filePath(u"data/Quillbox"_s);
}

QuillboxProcess::QuillboxProcess(const Home& home, const QString& name)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The test program itself runs offscreen; the program under test must pick its own platform.
    env.remove(u"QT_QPA_PLATFORM"_s);
    env.remove(u"WAYLAND_DISPLAY"_s);
    // No session bus: Qt then uses the X11 tray protocol that trayer speaks.
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent/quillbox-e2e-bus"_s);
    env.insert(u"XDG_DATA_HOME"_s, QDir(home.Root()).filePath(u"data"_s));
    env.insert(u"XDG_RUNTIME_DIR"_s, QDir(home.Root()).filePath(u"run"_s));
    m_process.setProcessEnvironment(env);
    m_errPath = QDir(home.Root()).filePath(name + u".stderr"_s);
    m_process.setStandardOutputFile(QDir(home.Root()).filePath(name + u".stdout"_s));
    m_process.setStandardErrorFile(m_errPath);
    m_process.setProgram(QStringLiteral(E2E_QUILLBOX));
}

QuillboxProcess::~QuillboxProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool QuillboxProcess::Start()
{
    m_process.start();
    return m_process.waitForStarted(5000);
}

bool QuillboxProcess::Running() const
{
    return m_process.state() == QProcess::Running;
}

std::optional<int> QuillboxProcess::WaitExit(std::chrono::milliseconds timeout)
{
    if (!m_process.waitForFinished(int(timeout.count())))
        return std::nullopt;
    if (m_process.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    return m_process.exitCode();
}

void QuillboxProcess::Terminate()
{
    if (m_process.state() == QProcess::Running)
        ::kill(pid_t(m_process.processId()), SIGTERM);
}

QString QuillboxProcess::ErrorOutput() const
{
    QFile f(m_errPath);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}
