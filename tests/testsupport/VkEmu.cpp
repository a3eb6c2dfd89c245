#include "VkEmu.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>
#include <httplib.h>

#include "net/AsyncHttp.h"

using namespace Qt::StringLiterals;

QString VkEmuRequest::PathOnly() const
{
    const qsizetype q = path.indexOf(u'?');
    return q < 0 ? path : path.left(q);
}

QString VkEmuRequest::Header(QStringView name) const
{
    for (const auto& [n, v] : headers) {
        if (name.compare(n, Qt::CaseInsensitive) == 0)
            return v;
    }
    return {};
}

bool VkEmuRequest::HasHeader(QStringView name) const
{
    for (const auto& h : headers) {
        if (name.compare(h.first, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QStringList VkEmuRequest::HeaderNames() const
{
    QStringList names;
    for (const auto& h : headers)
        names.append(h.first);
    return names;
}

QString VkEmu::BinaryPath()
{
    return QStringLiteral(QUILLBOX_BINARY_DIR "/tools/vkemu/vkemu");
}

QJsonObject VkEmu::Account(const QString& login, const QString& password, qint64 uid,
                           const QString& firstName, const QString& lastName, const QString& status)
{
    return QJsonObject{{u"login"_s, login},          {u"password"_s, password},  {u"uid"_s, uid},
                       {u"first_name"_s, firstName}, {u"last_name"_s, lastName}, {u"status"_s, status}};
}

QJsonObject VkEmu::DefaultConfig()
{
    return QJsonObject{{u"accounts"_s, QJsonArray{Account(u"user@example.com"_s, u"secret"_s, 12345,
                                                          u"Иван"_s, u"Петров"_s, u"Привет, мир"_s)}}};
}

VkEmu::VkEmu(const QJsonObject& config)
{
    if (!m_dir.isValid()) {
        m_error = u"no temporary folder"_s;
        return;
    }
    QFile file(m_dir.filePath(u"config.json"_s));
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(config).toJson()) < 0) {
        m_error = u"cannot write the config: "_s + file.errorString();
        return;
    }
    file.close();
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(BinaryPath(), {u"--listen"_s, u"127.0.0.1"_s, u"--port"_s, u"0"_s, u"--config"_s,
                                   file.fileName(), u"--log"_s, LogPath(), u"--die-with-parent"_s});
    if (!m_process.waitForStarted(10000)) {
        m_error = BinaryPath() + u": "_s + m_process.errorString();
        return;
    }
    QElapsedTimer timer;
    timer.start();
    while (!m_process.canReadLine() && timer.elapsed() < 15000 && m_process.state() == QProcess::Running)
        m_process.waitForReadyRead(500);
    const QByteArray line = m_process.readLine().trimmed();
    if (!line.startsWith("PORT ")) {
        m_error =
            u"vkemu did not report its port: "_s + QString::fromLocal8Bit(m_process.readAllStandardError());
        return;
    }
    m_port = line.mid(5).toInt();
    for (const char* host : {QUILLBOX_VK_LOGIN_HOST, QUILLBOX_VK_SITE_HOST, QUILLBOX_VK_API_HOST,
                             QUILLBOX_UPDATE_HOST, QUILLBOX_GA_HOST})
        HttpSetHostMapping(QString::fromLatin1(host), 80, m_port);
}

VkEmu::~VkEmu()
{
    HttpClearHostMappings();
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
        ADD_FAILURE() << "vkemu did not end on SIGTERM";
        return;
    }
    // A sanitizer report from the emulator itself ends it with a non-zero code.
    if (m_process.exitStatus() != QProcess::NormalExit || m_process.exitCode() != 0)
        ADD_FAILURE() << "vkemu ended with code " << m_process.exitCode() << ": "
                      << m_process.readAllStandardError().toStdString();
}

QString VkEmu::LogPath() const
{
    return m_dir.filePath(u"requests.jsonl"_s);
}

QList<VkEmuRequest> ReadVkEmuLog(const QString& path)
{
    QList<VkEmuRequest> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : file.readAll().split('\n')) {
        // A line still being written while the emulator runs is not a request yet.
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.isEmpty())
            continue;
        VkEmuRequest r;
        r.method = o.value(u"method"_s).toString();
        r.host = o.value(u"host"_s).toString();
        r.path = o.value(u"path"_s).toString();
        r.version = o.value(u"version"_s).toString();
        for (const QJsonValue& h : o.value(u"headers"_s).toArray())
            r.headers.append({h.toArray().at(0).toString(), h.toArray().at(1).toString()});
        r.body = o.value(u"body"_s).toString().toLatin1();
        out.append(r);
    }
    return out;
}

QList<VkEmuRequest> VkEmu::Requests() const
{
    return ReadVkEmuLog(LogPath());
}

QList<VkEmuRequest> VkEmu::Requests(const QString& host, const QString& pathOnly) const
{
    QList<VkEmuRequest> out;
    for (const VkEmuRequest& r : Requests()) {
        if (r.host == host && r.PathOnly() == pathOnly)
            out.append(r);
    }
    return out;
}

QByteArray VkEmu::control(const char* method, const char* path, const QByteArray& body) const
{
    if (!Started())
        return {};
    httplib::Client client("127.0.0.1", m_port);
    client.set_connection_timeout(5);
    client.set_read_timeout(10);
    const httplib::Result res =
        std::string_view(method) == "POST"
            ? client.Post(path, body.constData(), size_t(body.size()), "application/json")
            : client.Get(path);
    if (!res || res->status != 200)
        return {};
    return QByteArray::fromStdString(res->body);
}

void VkEmu::ClearLog()
{
    control("POST", "/__emu/clear", {});
}

bool VkEmu::Script(const QJsonObject& script)
{
    return !control("POST", "/__emu/script", QJsonDocument(script).toJson(QJsonDocument::Compact)).isEmpty();
}

QJsonObject VkEmu::State() const
{
    return QJsonDocument::fromJson(control("GET", "/__emu/state", {})).object();
}

QString VkEmu::StatusOf(const QString& login) const
{
    for (const QJsonValue& a : State().value(u"accounts"_s).toArray()) {
        if (a.toObject().value(u"login"_s).toString() == login)
            return a.toObject().value(u"status"_s).toString();
    }
    return {};
}
