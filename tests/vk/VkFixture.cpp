#include "VkFixture.h"

#include "net/CookieJar.h"
#include "settings/uOptions.h"

void VkFixture::SetUp()
{
    if (CookieJar)
        CookieJarStop();
    CookieJarStart();
    if (!Options)
        OptionsStart();
    TVKApi::SetCaptchaPrompt([this](const QString& url, QString& answer) {
        captchaUrls.append(url);
        return captchaAnswer ? captchaAnswer(answer) : false;
    });
    StartEmulator(Config());
}

void VkFixture::TearDown()
{
    TVKApi::SetCaptchaPrompt(nullptr);
    emu.reset();
}

void VkFixture::StartEmulator(const QJsonObject& config)
{
    emu.reset();
    emu = std::make_unique<VkEmu>(config);
    ASSERT_TRUE(emu->Started()) << emu->Error().toStdString();
}

bool VkFixture::SignIn(const QString& login, const QString& password)
{
    api.Login = login;
    api.Password = password;
    return api.Authorize();
}

QStringList VkFixture::Trail() const
{
    QStringList trail;
    for (const VkEmuRequest& r : emu->Requests())
        trail.append(r.method + u' ' + r.host + u' ' + r.path);
    return trail;
}
