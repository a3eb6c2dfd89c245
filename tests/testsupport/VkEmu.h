#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringView>
#include <QTemporaryDir>

// One request as the emulator received it. Header values, path and body are the bytes on the
// wire; the text members hold them one byte per character (Latin-1).
struct VkEmuRequest
{
    QString method;
    QString host; // Host header without port, lower case
    QString path; // path and query as sent
    QString version;
    QList<QPair<QString, QString>> headers; // in the order received
    QByteArray body;

    QString PathOnly() const;               // path without the query
    QString Header(QStringView name) const; // first one, letter case ignored; empty when absent
    bool HasHeader(QStringView name) const;
    QStringList HeaderNames() const;
};

// Reads an emulator record: one JSON line per request, in order; missing file gives none.
QList<VkEmuRequest> ReadVkEmuLog(const QString& path);

// Runs tools/vkemu as a child process on 127.0.0.1 (a port of its own) and sends every fixed host
// name on port 80 there through the transport's host mapping, so requests keep their real
// addresses and cookie domains. The config holds the accounts and the script keys that
// tools/vkemu/README.md lists. The mappings are cleared when the object goes.
class VkEmu
{
public:
    explicit VkEmu(const QJsonObject& config = DefaultConfig());
    ~VkEmu();
    VkEmu(const VkEmu&) = delete;
    VkEmu& operator=(const VkEmu&) = delete;

    bool Started() const { return m_port > 0; }
    QString Error() const { return m_error; } // why it did not start
    int Port() const { return m_port; }
    QString LogPath() const;

    QList<VkEmuRequest> Requests() const; // everything recorded so far, in order
    QList<VkEmuRequest> Requests(const QString& host, const QString& pathOnly) const;
    void ClearLog();

    // Merges script keys into the running emulator (accounts, captcha, rules, ...).
    bool Script(const QJsonObject& script);
    QJsonObject State() const;
    QString StatusOf(const QString& login) const;

    static QJsonObject Account(const QString& login, const QString& password, qint64 uid,
                               const QString& firstName, const QString& lastName, const QString& status);
    // One account: "user@example.com" / "secret", uid 12345, Иван Петров, status "Привет, мир".
    static QJsonObject DefaultConfig();
    static QString BinaryPath();

private:
    QByteArray control(const char* method, const char* path, const QByteArray& body) const;

    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};
