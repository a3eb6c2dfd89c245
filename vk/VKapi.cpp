#include "VKapi.h"

#include <QByteArray>

#include "net/AsyncHttp.h"
#include "net/CodePage.h"
#include "net/CookieJar.h"
#include "net/UrlCode.h"
#include "net/Web.h"
#include "vk/VkJson.h"
#include "vk/fCaptcha.h"

using namespace Qt::StringLiterals;

namespace {

const QString kAppId = u"8"_s;

CaptchaPrompt& captchaPrompt()
{
    static CaptchaPrompt prompt = &AskCaptcha;
    return prompt;
}

QString authorizeAppUrl()
{
    return VkSiteUrl(u"/login.php?app="_s + kAppId + u"&layout=popup&type=browser&settings=8"_s);
}

} // namespace

QString VkSiteUrl(const QString& path)
{
    return u"http://"_s + QStringLiteral(QUILLBOX_VK_SITE_HOST) + path;
}

QString VkLoginUrl(const QString& path)
{
    return u"http://"_s + QStringLiteral(QUILLBOX_VK_LOGIN_HOST) + path;
}

QString VkApiUrl(const QString& path)
{
    return u"http://"_s + QStringLiteral(QUILLBOX_VK_API_HOST) + path;
}

TVKApi::TVKApi() : Profiles(this) {}

TVKApi::~TVKApi() = default;

void TVKApi::SetCaptchaPrompt(CaptchaPrompt prompt)
{
    captchaPrompt() = prompt ? std::move(prompt) : CaptchaPrompt(&AskCaptcha);
}

bool TVKApi::Authorize()
{
    // A sign-in never goes on with what an earlier one (perhaps of another account) left behind.
    RemixSid.clear();
    AuthHash.clear();
    AppSettingsHash.clear();
    CaptchaSid.clear();
    CaptchaKey.clear();
    Mid = 0;
    Sid.clear();
    Secret.clear();

    if (!LoginAttempt())
        return false;
    WebLogin();
    AuthorizeApp();

    if (Secret.isEmpty()) {
        const auto http = CreateHttp(VkSiteUrl(u"/login.php"_s));
        http->SetPostData(ToAnsi(u"s="_s + RemixSid + u"&act=auth_result&m=4&app="_s + kAppId +
                                 u"&app_hash="_s + AuthHash));
        if (http->Post())
            ParseSession(http->ResponseText());
    }

    if (!AppSettingsHash.isEmpty()) {
        const auto http = CreateHttp(VkSiteUrl(u"/apps.php?act=a_save_settings"_s));
        http->OnBeforeHeaderSend = [this](TAsyncHttp* sender, const QString& method, QStringList& lines) {
            BeforeHeaderSend(sender, method, lines);
        };
        http->SetPostData(
            ToAnsi(u"app_settings_"_s + kAppId + u"=1&hash="_s + AppSettingsHash + u"&id="_s + kAppId));
        http->Post();
    }
    return true;
}

bool TVKApi::LoginAttempt()
{
    // VK may ask for a captcha again and again; each accepted answer is one more attempt. A loop
    // rather than a recursion, so that a long run of captchas cannot exhaust the stack.
    for (;;) {
        QString reply;
        {
            const auto http = CreateHttp(VkSiteUrl(u"/login.php"_s));
            QString body = u"op=a_login_attempt"_s;
            if (!CaptchaSid.isEmpty())
                body += u"&captcha_sid="_s + CaptchaSid + u"&captcha_key="_s + CaptchaKey;
            http->SetPostData(ToAnsi(body));
            if (!http->Post())
                return false;
            reply = http->ResponseText();
        }
        if (reply == u"vklogin")
            return true;
        if (!reply.startsWith(u'{'))
            return false;
        const std::optional<QJsonObject> object = ParseJsonObject(reply);
        if (!object || object->value(u"ok"_s).isNull() || object->value(u"ok"_s).isUndefined())
            return false;
        CaptchaSid = JsonText(object->value(u"captcha_sid"_s));
        if (!captchaPrompt()(VkSiteUrl(u"/captcha.php?s=1&sid="_s + CaptchaSid), CaptchaKey))
            throw Exception(u"Требуется капча "_s + CaptchaSid);
    }
}

bool TVKApi::WebLogin()
{
    const auto http = CreateHttp(VkLoginUrl(u"/?act=login"_s));
    // Cookies of this request reach the jar only through the remixsid stored below.
    http->OnCookie = [this](TAsyncHttp* sender, const QString& cookie, bool& accept) {
        CookieReceived(sender, cookie, accept);
    };
    http->SetPostData("email=" + UrlEncode(ToAnsi(Login)) + "&pass=" + UrlEncode(ToAnsi(Password)) +
                      "&expire=&vk=");
    const bool completed = http->Post();
    if (RemixSid.isEmpty()) {
        // A completed login without the cookie is VK refusing the login or password; a failed
        // exchange says nothing about them.
        if (completed)
            throw EVKError(u"Не удалось получить SID"_s);
        throw Exception(u"Не удалось получить SID"_s);
    }
    if (CookieJar)
        CookieJar->SetCookie(CookieDomainOf(VkSiteUrl(u"/"_s)), u"remixsid="_s + RemixSid);
    return true;
}

void TVKApi::CookieReceived(TAsyncHttp* sender, const QString& cookie, bool& accept)
{
    Q_UNUSED(sender);
    Q_UNUSED(accept);
    FirstMatchGroup(cookie, u"remixsid=(\\w*)"_s, RemixSid);
}

void TVKApi::AuthorizeApp()
{
    const QString url = authorizeAppUrl();
    const auto http = CreateHttp(url);
    http->Get();
    const QString location = http->Location();
    if (location != url) {
        const qsizetype hash = location.indexOf(u'#');
        ParseSession(hash < 0 ? QString() : location.mid(hash + 1));
        return;
    }
    const std::unique_ptr<TRegEx> vars = CreateRegEx(http->ResponseText(), u"var (.*?) = '?(.*?)'?;"_s);
    for (bool found = vars->Match(); found; found = vars->MatchAgain()) {
        const QString name = vars->Group(1);
        if (name == u"auth_hash")
            AuthHash = vars->Group(2);
        else if (name == u"app_settings_hash")
            AppSettingsHash = vars->Group(2);
        else if (name == u"app_session")
            ParseSession(vars->Group(2));
    }
}

void TVKApi::ParseSession(const QString& text)
{
    const QString decoded = FromAnsi(UrlDecode(ToAnsi(text)));
    // The first "{" up to the nearest "}" after it: what the lazy pattern "{.*?}" matches.
    const qsizetype open = decoded.indexOf(u'{');
    if (open < 0)
        return;
    const qsizetype close = decoded.indexOf(u'}', open);
    if (close < 0)
        return;
    const std::optional<QJsonObject> session = ParseJsonObject(decoded.mid(open, close - open + 1));
    if (!session)
        return;
    Mid = JsonInt32(session->value(u"mid"_s));
    Sid = JsonText(session->value(u"sid"_s));
    Secret = JsonText(session->value(u"secret"_s));
}

void TVKApi::BeforeHeaderSend(TAsyncHttp* sender, const QString& method, QStringList& lines)
{
    Q_UNUSED(sender);
    Q_UNUSED(method);
    lines.append(u"X-Requested-With: XMLHttpRequest"_s);
}
