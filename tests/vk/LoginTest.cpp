// Sign-in against the emulator: the requests it recorded, the session, the captcha loop, errors.
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include "VkFixture.h"
#include "net/CookieJar.h"

using namespace Qt::StringLiterals;

namespace {

const QString kLanding = u"GET " QUILLBOX_VK_SITE_HOST " /api/login_success.html"_s;
const QString kSiteDomain = u"" QUILLBOX_VK_SITE_HOST ""_s;

enum class Raised { Nothing, PlainException, VkError };

Raised outcomeOf(const std::function<void()>& action, QString* message = nullptr)
{
    try {
        action();
    } catch (const EVKError& e) {
        if (message)
            *message = e.Message();
        return Raised::VkError;
    } catch (const Exception& e) {
        if (message)
            *message = e.Message();
        return Raised::PlainException;
    }
    return Raised::Nothing;
}

QString encodedSession(const QByteArray& json)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(json)));
}

QJsonObject withScript(QJsonObject config, const QJsonObject& script)
{
    for (auto it = script.begin(); it != script.end(); ++it)
        config.insert(it.key(), it.value());
    return config;
}

} // namespace

TEST_F(VkFixture, SignInFollowsTheRedirectThatCarriesTheSession)
{
    ASSERT_TRUE(SignIn());
    EXPECT_EQ(api.Mid, 12345);
    EXPECT_FALSE(api.Sid.isEmpty());
    EXPECT_FALSE(api.Secret.isEmpty());
    EXPECT_FALSE(api.RemixSid.isEmpty());
    EXPECT_EQ(Trail(), QStringList({kLoginAttempt, kLoginForm, kAuthPage, kLanding}));

    const QList<VkEmuRequest> r = Requests();
    EXPECT_EQ(r[0].body, "op=a_login_attempt");
    EXPECT_FALSE(r[0].HasHeader(u"Cookie"));
    EXPECT_EQ(r[0].Header(u"Content-Type"), u"application/x-www-form-urlencoded");
    EXPECT_EQ(r[1].body, "email=user@example.com&pass=secret&expire=&vk=");
    EXPECT_FALSE(r[1].HasHeader(u"X-Requested-With"));
    const QString cookie = u"remixsid="_s + api.RemixSid + u';';
    EXPECT_EQ(r[2].Header(u"Cookie"), cookie);
    EXPECT_EQ(CookieJar->GetCookieHeader(kSiteDomain), cookie);
    EXPECT_EQ(api.GetActivity(), u"Привет, мир");
}

struct AuthModeCase
{
    const char* mode;
    bool settingsHash;
    QStringList afterAuthPage; // requests that follow the authorisation page
};

class AuthModeTest : public VkFixture, public ::testing::WithParamInterface<AuthModeCase>
{
protected:
    QJsonObject Config() const override
    {
        return withScript(VkEmu::DefaultConfig(), {{u"auth_mode"_s, QString::fromLatin1(GetParam().mode)},
                                                   {u"settings_hash"_s, GetParam().settingsHash}});
    }
};

TEST_P(AuthModeTest, EveryPathEndsWithAWorkingSession)
{
    ASSERT_TRUE(SignIn());
    EXPECT_EQ(api.Mid, 12345);
    EXPECT_FALSE(api.Secret.isEmpty());
    EXPECT_EQ(Trail(), QStringList({kLoginAttempt, kLoginForm, kAuthPage}) + GetParam().afterAuthPage);

    const QString cookie = u"remixsid="_s + api.RemixSid + u';';
    int saved = 0;
    const QList<VkEmuRequest> r = Requests();
    for (qsizetype i = 3; i < r.size(); ++i) {
        const QString line = Trail()[i];
        if (line == kAuthResult) {
            EXPECT_EQ(QString::fromLatin1(r[i].body),
                      u"s="_s + api.RemixSid + u"&act=auth_result&m=4&app=8&app_hash="_s + api.AuthHash);
            EXPECT_EQ(r[i].Header(u"Cookie"), cookie);
        } else if (line == kSaveSettings) {
            ++saved;
            EXPECT_FALSE(api.AppSettingsHash.isEmpty());
            EXPECT_EQ(QString::fromLatin1(r[i].body),
                      u"app_settings_8=1&hash="_s + api.AppSettingsHash + u"&id=8"_s);
            EXPECT_EQ(r[i].Header(u"X-Requested-With"), u"XMLHttpRequest");
            EXPECT_EQ(r[i].Header(u"Cookie"), cookie);
        }
    }
    EXPECT_EQ(emu->State().value(u"settings_saved"_s).toInt(), saved);
    EXPECT_EQ(api.GetActivity(), u"Привет, мир");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, AuthModeTest,
    ::testing::Values(AuthModeCase{"redirect", true, {kLanding}},
                      AuthModeCase{"redirect_nohash", true, {kLanding, kAuthResult}},
                      AuthModeCase{"page", true, {kSaveSettings}}, AuthModeCase{"page", false, {}},
                      AuthModeCase{"page_nosession", true, {kAuthResult, kSaveSettings}}));

class RefusedAttemptTest : public VkFixture, public ::testing::WithParamInterface<const char*>
{
protected:
    QJsonObject Config() const override
    {
        return withScript(VkEmu::DefaultConfig(),
                          {{u"login_attempt_reply"_s, QString::fromUtf8(GetParam())}});
    }
};

TEST_P(RefusedAttemptTest, AnythingButTheExactWordStopsTheSignIn)
{
    EXPECT_FALSE(SignIn());
    EXPECT_EQ(Trail(), QStringList{kLoginAttempt});
    EXPECT_TRUE(captchaUrls.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Replies, RefusedAttemptTest,
                         ::testing::Values("VKLOGIN", "vklogin\n", " vklogin", "", "{}", "{\"ok\":null}",
                                           "{\"ok\":", "[{\"ok\":1}]", "<html>vklogin</html>"));

TEST_F(VkFixture, FailedLoginAttemptStopsTheSignIn)
{
    emu->Script(
        {{u"rules"_s, QJsonArray{QJsonObject{{u"path"_s, u"/login.php"_s}, {u"action"_s, u"drop"_s}}}}});
    EXPECT_FALSE(SignIn());
    EXPECT_EQ(Trail(), QStringList{kLoginAttempt});
}

TEST_F(VkFixture, CaptchaAnswerIsSentAsTyped)
{
    emu->Script(
        {{u"captcha"_s, QJsonObject{{u"count"_s, 1}, {u"sid"_s, u"777"_s}, {u"answer"_s, u"щ b&c"_s}}}});
    captchaAnswer = [](QString& answer) {
        answer = u"щ b&c"_s;
        return true;
    };
    ASSERT_TRUE(SignIn());
    EXPECT_EQ(captchaUrls, QStringList{u"http://" QUILLBOX_VK_SITE_HOST "/captcha.php?s=1&sid=777"_s});
    const QList<VkEmuRequest> r = Requests();
    EXPECT_EQ(Trail().mid(0, 3), QStringList({kLoginAttempt, kLoginAttempt, kLoginForm}));
    EXPECT_EQ(r[0].body, "op=a_login_attempt");
    EXPECT_EQ(r[1].body, "op=a_login_attempt&captcha_sid=777&captcha_key=\xf9 b&c");
    EXPECT_FALSE(api.Secret.isEmpty());
}

TEST_F(VkFixture, CaptchaLoopGoesOnUntilTheUserGivesUp)
{
    emu->Script(
        {{u"captcha"_s, QJsonObject{{u"count"_s, 1}, {u"sid"_s, u"777"_s}, {u"answer"_s, u"right"_s}}}});
    QStringList answers{u"wrong"_s, u"right"_s};
    captchaAnswer = [&answers](QString& answer) {
        if (answers.isEmpty())
            return false;
        answer = answers.takeFirst();
        return true;
    };
    ASSERT_TRUE(SignIn());
    EXPECT_EQ(captchaUrls.size(), 2);
    QList<VkEmuRequest> r = Requests();
    EXPECT_EQ(r[1].body, "op=a_login_attempt&captcha_sid=777&captcha_key=wrong");
    EXPECT_EQ(r[2].body, "op=a_login_attempt&captcha_sid=777&captcha_key=right");

    // Refused answers only: the user closes the dialog at last.
    emu->Script(
        {{u"captcha"_s, QJsonObject{{u"count"_s, 1}, {u"sid"_s, u"778"_s}, {u"answer"_s, u"right"_s}}}});
    emu->ClearLog();
    answers = {u"wrong"_s};
    QString message;
    EXPECT_EQ(outcomeOf([this] { SignIn(); }, &message), Raised::PlainException);
    EXPECT_EQ(message, u"Требуется капча 778");
    EXPECT_EQ(Trail(), QStringList({kLoginAttempt, kLoginAttempt}));
}

TEST_F(VkFixture, CaptchaWithoutIdAsksWithAnEmptyId)
{
    emu->Script({{u"captcha"_s, QJsonObject{{u"count"_s, 1}, {u"sid"_s, QJsonValue()}}}});
    QString message;
    EXPECT_EQ(outcomeOf([this] { SignIn(); }, &message), Raised::PlainException);
    EXPECT_EQ(message, u"Требуется капча ");
    EXPECT_EQ(captchaUrls, QStringList{u"http://" QUILLBOX_VK_SITE_HOST "/captcha.php?s=1&sid="_s});

    // Accepted: without an id the repeated attempt is the short one again.
    emu->Script({{u"captcha"_s, QJsonObject{{u"count"_s, 1}, {u"sid"_s, QJsonValue()}}}});
    emu->ClearLog();
    captchaAnswer = [](QString& answer) {
        answer = u"4817"_s;
        return true;
    };
    ASSERT_TRUE(SignIn());
    const QList<VkEmuRequest> r = Requests();
    EXPECT_EQ(r[0].body, "op=a_login_attempt");
    EXPECT_EQ(r[1].body, "op=a_login_attempt");
    EXPECT_EQ(Trail()[2], kLoginForm);
}

TEST_F(VkFixture, LoginAndPasswordOutsideTheCodePageAreSentWithQuestionMarks)
{
    emu->Script({{u"accounts"_s, QJsonArray{VkEmu::Account(u"юзер?@example.com"_s, u"пароль? a&b"_s, 5,
                                                           u"Ю"_s, u"З"_s, u"s"_s)}}});
    ASSERT_TRUE(SignIn(u"юзер✓@example.com"_s, u"пароль✓ a&b"_s));
    EXPECT_EQ(Requests()[1].body,
              "email=%fe%e7%e5%f0%3f@example.com&pass=%ef%e0%f0%ee%eb%fc%3f+a%26b&expire=&vk=");
    EXPECT_EQ(api.Mid, 5);
}

TEST_F(VkFixture, RefusedPasswordIsAVkErrorAndStoresNothing)
{
    QString message;
    EXPECT_EQ(outcomeOf([this] { SignIn(u"user@example.com"_s, u"wrong"_s); }, &message), Raised::VkError);
    EXPECT_EQ(message, u"Не удалось получить SID");
    EXPECT_EQ(Trail(), QStringList({kLoginAttempt, kLoginForm}));
    EXPECT_TRUE(CookieJar->GetCookieHeader(kSiteDomain).isEmpty());
}

TEST_F(VkFixture, FailedLoginFormIsAPlainException)
{
    emu->Script({{u"rules"_s, QJsonArray{QJsonObject{{u"host"_s, u"" QUILLBOX_VK_LOGIN_HOST ""_s},
                                                     {u"path"_s, u"/"_s},
                                                     {u"action"_s, u"drop"_s}}}}});
    QString message;
    EXPECT_EQ(outcomeOf([this] { SignIn(); }, &message), Raised::PlainException);
    EXPECT_EQ(message, u"Не удалось получить SID");
    EXPECT_TRUE(CookieJar->GetCookieHeader(kSiteDomain).isEmpty());
}

TEST_F(VkFixture, LastRemixsidOfTheRedirectChainWins)
{
    CookieJar->SetCookie(kSiteDomain, u"other=1"_s);
    emu->Script(
        {{u"login_hops"_s, QJsonArray{QJsonArray{u"remixsid=early1; path=/"_s, u"tracking=1; path=/"_s},
                                      QJsonArray{u"remixsid=; path=/"_s}}}});
    ASSERT_TRUE(SignIn());
    EXPECT_FALSE(api.RemixSid.isEmpty());
    EXPECT_NE(api.RemixSid, u"early1");
    EXPECT_FALSE(api.Secret.isEmpty());

    const QList<VkEmuRequest> r = Requests();
    ASSERT_GE(r.size(), 4);
    EXPECT_EQ(Trail()[1], kLoginForm);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(r[i].Header(u"Cookie"), u"other=1;") << i;
        if (i > 1) {
            EXPECT_TRUE(r[i].path.startsWith(u"/login.php?act=slogin&hop="_s)) << i;
        }
    }
    // Only the session cookie of the login form reaches the jar, and it replaced nothing else.
    EXPECT_EQ(CookieJar->GetCookieHeader(kSiteDomain), u"other=1; remixsid="_s + api.RemixSid + u';');
}

TEST_F(VkFixture, EmptyRemixsidLastInTheChainIsARefusal)
{
    emu->Script({{u"login_hops"_s, QJsonArray{QJsonArray{u"remixsid={remixsid}; path=/"_s}}},
                 {u"login_cookies"_s, QJsonArray{u"remixsid=; path=/"_s}}});
    EXPECT_EQ(outcomeOf([this] { SignIn(); }), Raised::VkError);
    EXPECT_TRUE(api.RemixSid.isEmpty());
}

TEST_F(VkFixture, SecondSignInStartsFromACleanSlate)
{
    emu->Script({{u"captcha"_s, QJsonObject{{u"count"_s, 1}, {u"sid"_s, u"777"_s}}}});
    captchaAnswer = [](QString& answer) {
        answer = u"x"_s;
        return true;
    };
    ASSERT_TRUE(SignIn());
    ASSERT_FALSE(api.Secret.isEmpty());
    ASSERT_EQ(api.CaptchaSid, u"777");

    emu->ClearLog();
    EXPECT_EQ(outcomeOf([this] { SignIn(u"user@example.com"_s, u"wrong"_s); }), Raised::VkError);
    EXPECT_EQ(Requests()[0].body, "op=a_login_attempt");
    EXPECT_TRUE(api.RemixSid.isEmpty());
    EXPECT_TRUE(api.CaptchaSid.isEmpty());
    EXPECT_TRUE(api.CaptchaKey.isEmpty());
    EXPECT_TRUE(api.AuthHash.isEmpty());
    EXPECT_TRUE(api.AppSettingsHash.isEmpty());
    EXPECT_EQ(api.Mid, 0);
    EXPECT_TRUE(api.Sid.isEmpty());
    EXPECT_TRUE(api.Secret.isEmpty());
}

struct SessionCase
{
    const char* name;
    QString text; // as VK delivers it, URL-encoded
    bool raises;
    qint32 mid;
    QString sid;
    QString secret;
};

void PrintTo(const SessionCase& c, std::ostream* os)
{
    *os << c.name;
}

class SessionTextTest : public VkFixture, public ::testing::WithParamInterface<SessionCase>
{
protected:
    QJsonObject Config() const override
    {
        return withScript(VkEmu::DefaultConfig(), {{u"session_text"_s, GetParam().text}});
    }
};

TEST_P(SessionTextTest, IsReadOrLeftAlone)
{
    const SessionCase& c = GetParam();
    QString message;
    const Raised raised = outcomeOf([this] { EXPECT_TRUE(SignIn()); }, &message);
    if (c.raises) {
        EXPECT_EQ(raised, Raised::PlainException);
        EXPECT_TRUE(message.contains(u"Invalid URL encoded character (%zz)")) << message.toStdString();
        return;
    }
    EXPECT_EQ(raised, Raised::Nothing) << message.toStdString();
    EXPECT_EQ(api.Mid, c.mid);
    EXPECT_EQ(api.Sid, c.sid);
    EXPECT_EQ(api.Secret, c.secret);
    // Without a secret from the redirect, the authorisation result is asked for.
    EXPECT_EQ(Trail().mid(3).contains(kAuthResult), c.secret.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SessionTextTest,
    ::testing::Values(
        SessionCase{"NoBrace", u"nobrace"_s, false, 0, {}, {}},
        SessionCase{"ThirtyThreeBitMid", encodedSession(R"({"mid":4294967373,"sid":"s1","secret":"x1"})"),
                    false, 77, u"s1"_s, u"x1"_s},
        SessionCase{"MidBeyondDoublePrecision",
                    encodedSession(R"({"mid":9007199254740993,"sid":"s1","secret":"x1"})"), false, 1, u"s1"_s,
                    u"x1"_s},
        SessionCase{"NegativeMid", encodedSession(R"({"mid":-5,"sid":"s1","secret":"x1"})"), false, -5,
                    u"s1"_s, u"x1"_s},
        SessionCase{
            "WrongTypes", encodedSession(R"({"mid":"12","sid":34,"secret":["x"]})"), false, 12, u"34"_s, {}},
        SessionCase{
            "NullMembers", encodedSession(R"({"mid":null,"sid":null,"secret":null})"), false, 0, {}, {}},
        SessionCase{"MembersMissing", encodedSession(R"({"mid":3})"), false, 3, {}, {}},
        SessionCase{"NestedObjectIsCutAtTheFirstBrace",
                    encodedSession(R"({"mid":1,"x":{"a":1},"sid":"q"})"),
                    false,
                    0,
                    {},
                    {}},
        SessionCase{"PlusIsABlank",
                    u"%7B%22mid%22%3A+9%2C%22sid%22%3A%22a+b%22%2C%22secret%22%3A%22c%22%7D"_s, false, 9,
                    u"a b"_s, u"c"_s},
        SessionCase{"MalformedEscape",
                    encodedSession(R"({"mid":1,"sid":"a","secret":"b"})") + u"%zz"_s,
                    true,
                    0,
                    {},
                    {}}));

TEST_F(VkFixture, HugeAuthorisationPageIsReadWithoutHarm)
{
    // About 10 MB of script lines that start like a variable and never finish one.
    emu->Script({{u"rules"_s, QJsonArray{QJsonObject{{u"method"_s, u"GET"_s},
                                                     {u"path"_s, u"/login.php?app=8"_s},
                                                     {u"action"_s, u"reply"_s},
                                                     {u"head"_s, u"<script>"_s},
                                                     {u"open"_s, u"var filler_line\n"_s},
                                                     {u"repeat"_s, 650000},
                                                     {u"tail"_s, u"</script>"_s}}}}});
    ASSERT_TRUE(SignIn());
    EXPECT_EQ(Trail(), QStringList({kLoginAttempt, kLoginForm, kAuthPage, kAuthResult}));
}
