#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QString>
#include <QStringList>

#include "net/Exception.h"

class TAsyncHttp;
class TVKApi;

// The VK client's own error: the main window takes it as a refusal of the login or password.
class EVKError : public Exception
{
public:
    using Exception::Exception;
};

class TVKProfile
{
public:
    explicit TVKProfile(TVKApi* api) : Api(api) {}
    QString FirstName;
    qint32 Uid = 0;
    QString LastName;
    TVKApi* Api;
    QString PhotoRec;
    QString PhotoMedium;

    // Takes ownership; returns the profile that is in the list for this uid afterwards.
    static TVKProfile* AddToList(std::unique_ptr<TVKProfile> profile);
};

class TVKProfileList
{
public:
    explicit TVKProfileList(TVKApi* api) : Api(api) {}
    TVKApi* Api;
    TVKProfile* Find(qint32 uid) const;  // 0 means the owner's Mid
    int Count() const { return int(m_items.size()); }
    TVKProfile* operator[](int index) const { return m_items[size_t(index)].get(); }
    void Append(std::unique_ptr<TVKProfile> profile);

private:
    std::vector<std::unique_ptr<TVKProfile>> m_items;
};

// Answers a captcha: image address in, the typed answer out; false when the user gave none.
using CaptchaPrompt = std::function<bool(const QString& imageUrl, QString& answer)>;

class TVKApi
{
public:
    TVKApi();
    ~TVKApi();

    QString AuthHash;
    QString Secret;
    QString AppSettingsHash;
    QString Sid;
    QString CaptchaKey;
    QString CaptchaSid;
    QString Password;
    TVKProfileList Profiles;
    QString RemixSid;
    qint32 Mid = 0;
    QString Login;

    bool Authorize();

    QString GetActivity();
    void SetActivity(const QString& text);
    void GetProfiles(qint32 uid);

    QString CallMethod(const QString& params, const QString& signature);
    static QString BuildParams(const QString& params);
    QString Signature(const QString& params) const;

    // Seam for the captcha prompt; the production wiring is AskCaptcha.
    static void SetCaptchaPrompt(CaptchaPrompt prompt);

private:
    bool LoginAttempt();
    bool WebLogin();
    void AuthorizeApp();
    void ParseSession(const QString& text);
    void CookieReceived(TAsyncHttp* sender, const QString& cookie, bool& accept);
    void BeforeHeaderSend(TAsyncHttp* sender, const QString& method, QStringList& lines);
};

// Addresses of the three VK endpoints, built from the compiled-in host names.
QString VkSiteUrl(const QString& path);
QString VkLoginUrl(const QString& path);
QString VkApiUrl(const QString& path);
