// The login host and the main site: login attempt and captcha, login form, application
// authorisation, its result and the saved settings.
#include "Emulator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include "CaptchaImage.h"
#include "Cp1251.h"
#include "EmuReplies.h"

using namespace Qt::StringLiterals;

namespace emu {

Reply Emulator::loginAttempt(const RawRequest& rq)
{
    const QJsonValue fixed = m_script.value(u"login_attempt_reply"_s);
    if (fixed.isString())
        return textReply(200, ToCp1251(fixed.toString()));

    // The answer goes unencoded into the body, so it is read as it stands after its name.
    static const QByteArray sidPrefix = "op=a_login_attempt&captcha_sid=";
    static const QByteArray keyMark = "&captcha_key=";
    const qsizetype keyAt = rq.body.indexOf(keyMark);
    const bool withKey = rq.body.startsWith(sidPrefix) && keyAt >= 0;
    const QByteArray sid = withKey ? rq.body.mid(sidPrefix.size(), keyAt - sidPrefix.size()) : QByteArray();
    const QByteArray key = withKey ? rq.body.mid(keyAt + keyMark.size()) : QByteArray();

    const QJsonObject captcha = m_script.value(u"captcha"_s).toObject();
    bool wantCaptcha = false;
    if (m_captchaLeft > 0) {
        --m_captchaLeft;
        wantCaptcha = true;
    } else if (m_captchaIssued && captcha.value(u"answer"_s).isString()) {
        wantCaptcha =
            !withKey || FromCp1251(key) != captcha.value(u"answer"_s).toString() || sid != m_captchaSid;
    }
    if (!wantCaptcha) {
        m_captchaIssued = false;
        return textReply(200, "vklogin");
    }

    QJsonObject reply{{u"ok"_s, -2}};
    if (!captcha.contains(u"sid"_s))
        m_captchaSid = randomDigits(12);
    else
        m_captchaSid = ToCp1251(captcha.value(u"sid"_s).toString());
    if (!captcha.value(u"sid"_s).isNull()) {
        reply.insert(u"captcha_sid"_s, FromCp1251(m_captchaSid));
        reply.insert(u"captcha_img"_s, u"http://"_s + latin1(kSiteHost) + u"/captcha.php?s=1&sid="_s +
                                           FromCp1251(m_captchaSid));
    }
    m_captchaIssued = true;
    Reply r = jsonReply(reply);
    r.contentType = "text/html; charset=windows-1251";
    return r;
}

HeaderList Emulator::cookieHeaders(const QJsonArray& values, const QByteArray& remixsid) const
{
    HeaderList out;
    for (const QJsonValue& v : values) {
        QByteArray cookie = ToCp1251(v.toString());
        if (cookie.contains("{remixsid}")) {
            if (remixsid.isEmpty())
                continue;
            cookie.replace("{remixsid}", remixsid);
        }
        out.emplace_back("Set-Cookie", cookie);
    }
    return out;
}

Reply Emulator::loginForm(const RawRequest& rq)
{
    const Form form = parseForm(rq.body);
    const QString email = FromCp1251(formValue(form, "email"));
    const QString pass = FromCp1251(formValue(form, "pass"));
    QByteArray remixsid;
    for (size_t i = 0; i < m_accounts.size(); ++i) {
        if (m_accounts[i].login.compare(email, Qt::CaseInsensitive) == 0 && m_accounts[i].password == pass) {
            remixsid = randomHex(32);
            m_web[remixsid].account = int(i);
            break;
        }
    }
    const QJsonArray hops = m_script.value(u"login_hops"_s).toArray();
    if (hops.isEmpty())
        return finishLogin(remixsid);
    const QByteArray token = randomHex(16);
    m_hops[token] = PendingLogin{remixsid, 1};
    Reply r = redirect("http://" + kSiteHost + "/login.php?act=slogin&hop=1&to=" + token);
    const HeaderList cookies = cookieHeaders(hops.at(0).toArray(), remixsid);
    r.headers.insert(r.headers.end(), cookies.begin(), cookies.end());
    return r;
}

Reply Emulator::loginHop(const RawRequest& rq)
{
    const QByteArray token = formValue(parseForm(rq.query), "to");
    const auto it = m_hops.find(token);
    if (it == m_hops.end())
        return loginPage();
    const QJsonArray hops = m_script.value(u"login_hops"_s).toArray();
    PendingLogin& pending = it->second;
    if (pending.hop >= hops.size()) {
        const QByteArray remixsid = pending.remixsid;
        m_hops.erase(it);
        return finishLogin(remixsid);
    }
    Reply r = redirect("http://" + kSiteHost +
                       "/login.php?act=slogin&hop=" + QByteArray::number(pending.hop + 1) + "&to=" + token);
    const HeaderList cookies = cookieHeaders(hops.at(pending.hop).toArray(), pending.remixsid);
    r.headers.insert(r.headers.end(), cookies.begin(), cookies.end());
    ++pending.hop;
    return r;
}

Reply Emulator::finishLogin(const QByteArray& remixsid)
{
    QJsonArray cookies;
    if (m_script.contains(u"login_cookies"_s))
        cookies = m_script.value(u"login_cookies"_s).toArray();
    else
        cookies.append(u"remixsid={remixsid}; expires=Mon, 01-Jan-2035 00:00:00 GMT; path=/; domain=."_s +
                       latin1(kSiteHost));
    Reply r =
        textReply(200, ToCp1251(remixsid.isEmpty() ? u"<html><body>Неверный логин или пароль</body></html>"_s
                                                   : u"<html><body>Вход выполнен</body></html>"_s));
    r.headers = cookieHeaders(cookies, remixsid);
    return r;
}

QByteArray Emulator::sessionText(WebSession& ws)
{
    if (ws.apiSid.isEmpty()) {
        ws.apiSid = randomHex(32);
        const Account& a = m_accounts[size_t(ws.account)];
        m_api[ws.apiSid] = ApiSession{ws.account, a.uid, randomHex(10)};
    }
    const QJsonValue fixed = m_script.value(u"session_text"_s);
    if (fixed.isString())
        return ToCp1251(fixed.toString());
    const ApiSession& s = m_api[ws.apiSid];
    const QJsonObject session{
        {u"mid"_s, s.mid}, {u"sid"_s, latin1(ws.apiSid)}, {u"secret"_s, latin1(s.secret)}, {u"expire"_s, 0}};
    return QUrl::toPercentEncoding(QString::fromUtf8(QJsonDocument(session).toJson(QJsonDocument::Compact)));
}

Reply Emulator::authPage(const RawRequest& rq)
{
    const QByteArray remixsid = webSessionOf(rq);
    if (remixsid.isEmpty())
        return loginPage();
    WebSession& ws = m_web[remixsid];
    ws.apiSid.clear();
    const QByteArray session = sessionText(ws);
    const QString mode = m_script.value(u"auth_mode"_s).toString(u"redirect"_s);
    const QByteArray landing = "http://" + kSiteHost + "/api/login_success.html";
    if (mode == u"redirect") {
        ws.authHash.clear();
        return redirect(landing + "#session=" + session);
    }
    if (mode == u"redirect_nohash") {
        ws.authHash.clear();
        return redirect(landing);
    }
    ws.authHash = randomHex(18);
    const bool withSettings = m_script.value(u"settings_hash"_s).toBool(true);
    ws.settingsHash = withSettings ? randomHex(18) : QByteArray();
    QByteArray page = "<html><head><script type=\"text/javascript\">\n"
                      "var app_id = 8;\n"
                      "var auth_hash = '" +
                      ws.authHash + "';\n";
    if (withSettings)
        page += "var app_settings_hash = '" + ws.settingsHash + "';\n";
    if (mode != u"page_nosession")
        page += "var app_session = '" + session + "';\n";
    page += "</script></head><body>" + ToCp1251(u"Разрешить доступ приложению?"_s) + "</body></html>";
    return textReply(200, page);
}

Reply Emulator::authResult(const RawRequest& rq)
{
    const QByteArray remixsid = webSessionOf(rq);
    const Form form = parseForm(rq.body);
    if (remixsid.isEmpty() || formValue(form, "s") != remixsid || formValue(form, "app") != "8")
        return textReply(200, "security breach");
    WebSession& ws = m_web[remixsid];
    if (formValue(form, "app_hash") != ws.authHash)
        return textReply(200, "wrong app_hash");
    return textReply(200, sessionText(ws));
}

Reply Emulator::saveSettings(const RawRequest& rq)
{
    const QByteArray remixsid = webSessionOf(rq);
    if (remixsid.isEmpty() || rq.Header("X-Requested-With") != "XMLHttpRequest")
        return textReply(403, "forbidden");
    WebSession& ws = m_web[remixsid];
    const Form form = parseForm(rq.body);
    if (ws.settingsHash.isEmpty() || formValue(form, "hash") != ws.settingsHash ||
        formValue(form, "app_settings_8") != "1" || formValue(form, "id") != "8")
        return textReply(403, "forbidden");
    ++ws.settingsSaved;
    return textReply(200, "<!>ok");
}

Reply Emulator::captchaImage(const RawRequest& rq)
{
    Q_UNUSED(rq);
    const QJsonValue answer = m_script.value(u"captcha"_s).toObject().value(u"answer"_s);
    Reply r;
    r.contentType = "image/jpeg";
    r.body = CaptchaJpeg(answer.isString() ? answer.toString() : u"4817"_s);
    return r;
}

} // namespace emu
