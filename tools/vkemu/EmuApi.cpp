// The API host: session and signature checks as VK's server makes them, and the three methods.
#include "Emulator.h"

#include <algorithm>

#include <QCryptographicHash>
#include <QJsonArray>
#include <QStringList>

#include "Cp1251.h"
#include "EmuReplies.h"

using namespace Qt::StringLiterals;

namespace emu {

Reply Emulator::api(const RawRequest& rq)
{
    // Decode every parameter first, then sign what was decoded, as VK's server does.
    const QByteArray text = rq.method == "POST" ? rq.body : rq.query;
    QStringList items;
    QString sid, sig, method, apiId;
    std::map<QString, QString> params;
    for (const auto& [name, value] : parseForm(text)) {
        const QString n = QString::fromUtf8(name);
        const QString v = QString::fromUtf8(value);
        params.emplace(n, v);
        if (n == u"sid")
            sid = v;
        else if (n == u"sig")
            sig = v;
        else
            items.append(n + u'=' + v);
    }
    const auto it = m_api.find(sid.toUtf8());
    if (it == m_api.end() || size_t(it->second.account) >= m_accounts.size())
        return apiError(5, u"User authorization failed: invalid session."_s);
    const ApiSession& session = it->second;
    std::stable_sort(items.begin(), items.end(),
                     [](const QString& a, const QString& b) { return a.toLower() < b.toLower(); });
    const QByteArray input =
        ToCp1251(QString::number(session.mid) + items.join(QString()) + latin1(session.secret));
    const QString expected =
        QString::fromLatin1(QCryptographicHash::hash(input, QCryptographicHash::Md5).toHex());
    if (sig != expected)
        return apiError(4, u"Incorrect signature"_s);
    if (params[u"api_id"_s] != u"8")
        return apiError(101, u"Invalid application API ID"_s);
    method = params[u"method"_s];

    const QJsonObject fixed = m_script.value(u"api_replies"_s).toObject();
    if (fixed.value(method).isString()) {
        Reply r;
        r.contentType = "application/json; charset=utf-8";
        r.body = fixed.value(method).toString().toUtf8();
        return r;
    }
    Account& account = m_accounts[size_t(session.account)];
    if (method == u"activity.get")
        return jsonReply(QJsonObject{{u"response"_s, QJsonObject{{u"activity"_s, account.status}}}});
    if (method == u"activity.set") {
        QString status = params[u"text"_s];
        if (m_script.value(u"html_escape_status"_s).toBool()) {
            status.replace(u'&', u"&amp;"_s).replace(u'<', u"&lt;"_s).replace(u'>', u"&gt;"_s);
            status.replace(u'"', u"&quot;"_s);
        }
        account.status = status;
        return jsonReply(QJsonObject{{u"response"_s, 1}});
    }
    if (method == u"getProfiles") {
        QJsonArray response;
        for (const QString& uid : params[u"uids"_s].split(u',', Qt::SkipEmptyParts)) {
            for (const Account& a : m_accounts) {
                if (a.uid != uid.trimmed().toLongLong())
                    continue;
                QJsonObject p{{u"uid"_s, a.uid},
                              {u"first_name"_s, a.firstName},
                              {u"last_name"_s, a.lastName},
                              {u"photo_rec"_s, a.photoRec}};
                if (params[u"fields"_s].contains(u"photo_medium"))
                    p.insert(u"photo_medium"_s, a.photoMedium);
                response.append(p);
                break;
            }
        }
        return jsonReply(QJsonObject{{u"response"_s, response}});
    }
    return apiError(3, u"Unknown method passed"_s);
}

QJsonObject Emulator::state() const
{
    QJsonArray accounts;
    for (const Account& a : m_accounts) {
        accounts.append(QJsonObject{{u"login"_s, a.login},
                                    {u"uid"_s, a.uid},
                                    {u"first_name"_s, a.firstName},
                                    {u"last_name"_s, a.lastName},
                                    {u"status"_s, a.status}});
    }
    int saved = 0;
    for (const auto& [remixsid, ws] : m_web)
        saved += ws.settingsSaved;
    return QJsonObject{{u"accounts"_s, accounts},
                       {u"web_sessions"_s, int(m_web.size())},
                       {u"api_sessions"_s, int(m_api.size())},
                       {u"settings_saved"_s, saved},
                       {u"captcha_left"_s, m_captchaLeft},
                       {u"requests"_s, m_seq}};
}

} // namespace emu
