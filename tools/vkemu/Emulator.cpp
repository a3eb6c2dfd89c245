#include "Emulator.h"

#include <algorithm>
#include <chrono>

#include <QJsonArray>
#include <QJsonDocument>

#include <unistd.h>

#include "EmuReplies.h"
#include "EmuServer.h"

using namespace Qt::StringLiterals;

namespace emu {
namespace {

const char kTransparentGif[] =
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x21\xf9\x04\x01\x00"
    "\x00\x00\x00\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b";

RawRequest parseRaw(const std::string& raw, const httplib::Request& req)
{
    RawRequest rq;
    const QByteArray bytes = QByteArray::fromStdString(raw);
    qsizetype headEnd = bytes.indexOf("\r\n\r\n");
    if (headEnd < 0)
        headEnd = bytes.indexOf("\n\n");
    const QList<QByteArray> lines = bytes.left(headEnd < 0 ? bytes.size() : headEnd).split('\n');
    if (!lines.isEmpty()) {
        const QList<QByteArray> parts = trimBlanks(lines.first()).split(' ');
        if (parts.size() >= 3) {
            rq.method = parts[0];
            rq.target = parts[1];
            rq.version = parts[2];
        }
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = trimBlanks(lines[i]);
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                rq.headers.emplace_back(line.left(colon), trimBlanks(line.mid(colon + 1)));
        }
    }
    if (rq.method.isEmpty()) {
        rq.method = QByteArray::fromStdString(req.method);
        rq.target = QByteArray::fromStdString(req.target);
        rq.version = QByteArray::fromStdString(req.version);
        for (const auto& [name, value] : req.headers)
            rq.headers.emplace_back(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
    }
    rq.body = QByteArray::fromStdString(req.body);
    QByteArray host = rq.Header("Host").toLower();
    const qsizetype colon = host.lastIndexOf(':');
    if (colon >= 0 && !host.contains(']'))
        host.truncate(colon);
    rq.host = host;
    const qsizetype q = rq.target.indexOf('?');
    rq.path = q < 0 ? rq.target : rq.target.left(q);
    rq.query = q < 0 ? QByteArray() : rq.target.mid(q + 1);
    return rq;
}

} // namespace

QByteArray RawRequest::Header(const QByteArray& name) const
{
    for (const auto& [n, v] : headers) {
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return v;
    }
    return {};
}

Emulator::Emulator(const QJsonObject& config, const QString& logPath) : m_random(std::random_device{}())
{
    applyScript(config);
    if (!logPath.isEmpty())
        m_log = std::fopen(logPath.toLocal8Bit().constData(), "w");
}

Emulator::~Emulator()
{
    if (m_log)
        std::fclose(m_log);
}

bool Emulator::LogOpen() const
{
    return m_log != nullptr;
}

void Emulator::Stop()
{
    std::lock_guard lock(m_lock);
    m_stopping = true;
    m_wake.notify_all();
}

QList<Account> Emulator::Accounts() const
{
    std::lock_guard lock(m_lock);
    return QList<Account>(m_accounts.begin(), m_accounts.end());
}

void Emulator::Handle(const httplib::Request& req, httplib::Response& res)
{
    Connection* connection = CurrentConnection();
    const RawRequest rq = parseRaw(connection ? connection->raw : std::string(), req);
    Reply reply;
    if (rq.path.startsWith("/__emu/")) {
        std::lock_guard lock(m_lock);
        reply = control(rq);
    } else {
        {
            std::lock_guard lock(m_lock);
            record(rq);
        }
        Rule rule;
        bool answered = false;
        if (takeRule(rq, rule)) {
            if (rule.action == "drop" || (rule.action == "stall" && !sleepFor(rule.seconds))) {
                if (connection)
                    connection->drop = true;
                res.status = 500;
                return;
            }
            if (rule.action == "reply") {
                reply = rule.reply;
                answered = true;
            }
        }
        if (!answered) {
            std::lock_guard lock(m_lock);
            reply = dispatch(rq);
        }
    }
    res.status = reply.status;
    for (const auto& [name, value] : reply.headers)
        res.headers.emplace(name.toStdString(), value.toStdString());
    res.set_content(reply.body.constData(), size_t(reply.body.size()), reply.contentType.toStdString());
}

Reply Emulator::control(const RawRequest& rq)
{
    if (rq.path == "/__emu/log") {
        Reply r;
        r.contentType = "application/x-ndjson; charset=utf-8";
        for (const QByteArray& line : m_lines)
            r.body += line;
        return r;
    }
    if (rq.path == "/__emu/state")
        return jsonReply(state());
    if (rq.path == "/__emu/clear" && rq.method == "POST") {
        m_lines.clear();
        if (m_log) {
            std::fflush(m_log);
            if (::ftruncate(fileno(m_log), 0) == 0)
                std::rewind(m_log);
        }
        return jsonReply(QJsonObject{{u"ok"_s, true}});
    }
    if (rq.path == "/__emu/script" && rq.method == "POST") {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(rq.body, &error);
        if (!doc.isObject())
            return textReply(400, "script is not a JSON object: " + error.errorString().toUtf8());
        applyScript(doc.object());
        return jsonReply(QJsonObject{{u"ok"_s, true}});
    }
    return textReply(404, "unknown control request");
}

void Emulator::record(const RawRequest& rq)
{
    QJsonArray headers;
    for (const auto& [name, value] : rq.headers)
        headers.append(QJsonArray{latin1(name), latin1(value)});
    const QJsonObject line{
        {u"seq"_s, ++m_seq},
        {u"method"_s, latin1(rq.method)},
        {u"host"_s, latin1(rq.host)},
        {u"path"_s, latin1(rq.target)},
        {u"version"_s, latin1(rq.version)},
        {u"headers"_s, headers},
        {u"body"_s, latin1(rq.body)},
    };
    const QByteArray text = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    m_lines.push_back(text);
    if (m_log) {
        std::fwrite(text.constData(), 1, size_t(text.size()), m_log);
        std::fflush(m_log);
    }
}

bool Emulator::takeRule(const RawRequest& rq, Rule& rule)
{
    std::lock_guard lock(m_lock);
    for (Rule& r : m_rules) {
        if (r.times == 0)
            continue;
        if (!r.host.isEmpty() && r.host != rq.host)
            continue;
        if (!r.method.isEmpty() && r.method != rq.method)
            continue;
        const bool pathMatches = r.path.contains('?') ? rq.target.startsWith(r.path) : rq.path == r.path;
        if (!pathMatches)
            continue;
        if (r.times > 0)
            --r.times;
        rule = r;
        return true;
    }
    return false;
}

bool Emulator::sleepFor(double seconds)
{
    std::unique_lock lock(m_lock);
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    return !m_wake.wait_until(lock, until, [this] { return m_stopping; });
}

void Emulator::applyScript(const QJsonObject& script)
{
    for (auto it = script.begin(); it != script.end(); ++it)
        m_script.insert(it.key(), it.value());
    if (script.contains(u"accounts"_s)) {
        m_accounts.clear();
        for (const QJsonValue& v : script.value(u"accounts"_s).toArray()) {
            const QJsonObject o = v.toObject();
            Account a;
            a.login = o.value(u"login"_s).toString();
            a.password = o.value(u"password"_s).toString();
            a.uid = jsonInteger(o.value(u"uid"_s));
            a.firstName = o.value(u"first_name"_s).toString();
            a.lastName = o.value(u"last_name"_s).toString();
            a.status = o.value(u"status"_s).toString();
            const QString camera = u"http://"_s + latin1(kSiteHost) + u"/images/camera_b.gif"_s;
            a.photoRec = o.value(u"photo_rec"_s).toString(camera);
            a.photoMedium = o.value(u"photo_medium"_s).toString(camera);
            m_accounts.push_back(a);
        }
    }
    if (script.contains(u"captcha"_s)) {
        m_captchaLeft = int(script.value(u"captcha"_s).toObject().value(u"count"_s).toInt());
        m_captchaIssued = false;
        m_captchaSid.clear();
    }
    if (script.contains(u"rules"_s)) {
        m_rules.clear();
        for (const QJsonValue& v : script.value(u"rules"_s).toArray()) {
            const QJsonObject o = v.toObject();
            Rule r;
            r.host = o.value(u"host"_s).toString().toLower().toUtf8();
            r.method = o.value(u"method"_s).toString().toUpper().toUtf8();
            r.path = o.value(u"path"_s).toString().toUtf8();
            r.action = o.value(u"action"_s).toString().toUtf8();
            r.seconds = o.value(u"seconds"_s).toDouble();
            r.times = o.value(u"times"_s).toInt(-1);
            r.reply.status = o.value(u"status"_s).toInt(200);
            r.reply.contentType =
                o.value(u"content_type"_s).toString(u"text/html; charset=windows-1251"_s).toUtf8();
            const int repeat = std::max(0, o.value(u"repeat"_s).toInt(1));
            const auto part = [&](const char16_t* name) {
                return encodeFor(o.value(QString::fromUtf16(name)).toString(), r.reply.contentType);
            };
            r.reply.body = part(u"head") + part(u"open").repeated(repeat) + part(u"body") +
                           part(u"close").repeated(repeat) + part(u"tail");
            m_rules.push_back(r);
        }
    }
}

QByteArray Emulator::randomHex(int digits)
{
    static const char hex[] = "0123456789abcdef";
    QByteArray out;
    for (int i = 0; i < digits; ++i)
        out.append(hex[m_random() % 16]);
    return out;
}

QByteArray Emulator::randomDigits(int digits)
{
    QByteArray out;
    for (int i = 0; i < digits; ++i)
        out.append(char('0' + (i == 0 ? 1 + m_random() % 9 : m_random() % 10)));
    return out;
}

QByteArray Emulator::webSessionOf(const RawRequest& rq) const
{
    for (const QByteArray& part : rq.Header("Cookie").split(';')) {
        const QByteArray pair = trimBlanks(part);
        if (pair.startsWith("remixsid=")) {
            const QByteArray value = pair.mid(9);
            const auto it = m_web.find(value);
            // A session outlives a script that replaced the accounts only as an invalid one.
            if (it != m_web.end() && size_t(it->second.account) < m_accounts.size())
                return value;
        }
    }
    return {};
}

Reply Emulator::dispatch(const RawRequest& rq)
{
    const Form query = parseForm(rq.query);
    if (rq.host == kSiteHost) {
        if (rq.path == "/login.php") {
            if (rq.method == "POST") {
                const Form form = parseForm(rq.body);
                if (formValue(form, "op") == "a_login_attempt")
                    return loginAttempt(rq);
                if (formValue(form, "act") == "auth_result")
                    return authResult(rq);
                return textReply(400, "unknown action");
            }
            if (formValue(query, "act") == "slogin")
                return loginHop(rq);
            if (formValue(query, "app") == "8")
                return authPage(rq);
            return loginPage();
        }
        if (rq.path == "/captcha.php")
            return captchaImage(rq);
        if (rq.path == "/apps.php" && rq.method == "POST" && formValue(query, "act") == "a_save_settings")
            return saveSettings(rq);
        if (rq.path.startsWith("/api/login_"))
            return textReply(200, "<html><body>OK</body></html>");
        return textReply(404, "not found");
    }
    if (rq.host == kLoginHost) {
        if (rq.path == "/" && rq.method == "POST" && formValue(query, "act") == "login")
            return loginForm(rq);
        return textReply(404, "not found");
    }
    if (rq.host == kApiHost) {
        if (rq.path == "/api.php")
            return api(rq);
        return textReply(404, "not found");
    }
    if (rq.host == kUpdateHost) {
        if (rq.path == "/quillbox.ver") {
            Reply r;
            r.contentType = "text/plain; charset=utf-8";
            r.body = m_script.value(u"version_file"_s).toString(u"3.01"_s).toUtf8();
            return r;
        }
        if (rq.path == "/files/Quillbox.exe") {
            Reply r;
            r.contentType = "application/octet-stream";
            r.body = QByteArray("MZ") + QByteArray(62, '\0');
            return r;
        }
        if (rq.path == "/")
            return textReply(200, "<html><body>Quillbox</body></html>");
        return textReply(404, "not found");
    }
    if (rq.host == kGaHost && rq.path == "/__utm.gif") {
        Reply r;
        r.contentType = "image/gif";
        r.body = QByteArray(kTransparentGif, sizeof kTransparentGif - 1);
        return r;
    }
    return textReply(404, "unknown host");
}

} // namespace emu
