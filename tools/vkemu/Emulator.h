#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <httplib.h>

namespace emu {

using HeaderList = std::vector<std::pair<QByteArray, QByteArray>>;

// A request as it came off the wire.
struct RawRequest
{
    QByteArray method;
    QByteArray target; // path and query, as sent
    QByteArray version;
    HeaderList headers; // in the order received
    QByteArray body;
    QByteArray host; // Host header, lower case, without a port
    QByteArray path;
    QByteArray query;

    QByteArray Header(const QByteArray& name) const; // first one, case-insensitive
};

struct Reply
{
    int status = 200;
    QByteArray contentType = "text/html; charset=windows-1251";
    QByteArray body;
    HeaderList headers;
};

struct Account
{
    QString login;
    QString password;
    qint64 uid = 0;
    QString firstName;
    QString lastName;
    QString status;
    QString photoRec;
    QString photoMedium;
};

// Played by the rules of the script: stall, drop the connection, or answer with a fixed reply.
struct Rule
{
    QByteArray host;
    QByteArray method;
    QByteArray path;
    QByteArray action;
    double seconds = 0;
    Reply reply;
    int times = -1; // -1: every matching request
};

// The server side of VK's login host, main site and API host, the update server and the analytics
// collector, told apart by the Host header; every request is written to the record first.
class Emulator
{
public:
    Emulator(const QJsonObject& config, const QString& logPath);
    ~Emulator();

    void Handle(const httplib::Request& req, httplib::Response& res);
    void Stop();
    bool LogOpen() const;
    QList<Account> Accounts() const;

private:
    Reply control(const RawRequest& rq);
    void record(const RawRequest& rq);
    bool takeRule(const RawRequest& rq, Rule& rule);
    bool sleepFor(double seconds);
    Reply dispatch(const RawRequest& rq);

    Reply loginAttempt(const RawRequest& rq);
    Reply loginForm(const RawRequest& rq);
    Reply loginHop(const RawRequest& rq);
    Reply authPage(const RawRequest& rq);
    Reply authResult(const RawRequest& rq);
    Reply saveSettings(const RawRequest& rq);
    Reply captchaImage(const RawRequest& rq);
    Reply api(const RawRequest& rq);

    void applyScript(const QJsonObject& script);
    QByteArray randomHex(int digits);
    QByteArray randomDigits(int digits);
    QByteArray webSessionOf(const RawRequest& rq) const;
    Reply finishLogin(const QByteArray& remixsid);
    HeaderList cookieHeaders(const QJsonArray& values, const QByteArray& remixsid) const;
    QJsonObject state() const;

    struct WebSession
    {
        int account = -1;
        QByteArray authHash;
        QByteArray settingsHash;
        QByteArray apiSid;
        int settingsSaved = 0;
    };
    struct ApiSession
    {
        int account = -1;
        qint64 mid = 0;
        QByteArray secret;
    };
    QByteArray sessionText(WebSession& ws);

    struct PendingLogin
    {
        QByteArray remixsid; // empty when the password was wrong
        int hop = 0;
    };

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::mt19937_64 m_random;
    QJsonObject m_script;
    std::vector<Account> m_accounts;
    std::vector<Rule> m_rules;
    std::map<QByteArray, WebSession> m_web;    // by remixsid
    std::map<QByteArray, ApiSession> m_api;    // by sid
    std::map<QByteArray, PendingLogin> m_hops; // by redirect token
    int m_captchaLeft = 0;
    bool m_captchaIssued = false;
    QByteArray m_captchaSid;
    FILE* m_log = nullptr;
    std::vector<QByteArray> m_lines;
    qint64 m_seq = 0;
};

} // namespace emu
