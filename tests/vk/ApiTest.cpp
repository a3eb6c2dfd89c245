// Signed /api.php calls and the profile list. Expected digests were computed with Python's
// hashlib over the Windows-1251 bytes, not with the code under test.
#include <QJsonArray>
#include <QJsonDocument>

#include "VkFixture.h"

using namespace Qt::StringLiterals;

namespace {

QJsonObject apiReply(const QString& method, const QString& text)
{
    return {{u"api_replies"_s, QJsonObject{{method, text}}}};
}

QString raisedBy(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EVKError& e) {
        return u"EVKError: "_s + e.Message();
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

QString nested(int depth)
{
    return u"{\"response\":"_s + QString(depth, u'[') + QString(depth, u']') + u'}';
}

} // namespace

struct DigestCase
{
    qint32 mid;
    const char16_t* secret;
    const char16_t* params;
    const char* md5;
};

class SignatureTest : public ::testing::TestWithParam<DigestCase>
{
};

TEST_P(SignatureTest, MatchesIndependentDigest)
{
    TVKApi api;
    api.Mid = GetParam().mid;
    api.Secret = QString::fromUtf16(GetParam().secret);
    EXPECT_EQ(api.Signature(QString::fromUtf16(GetParam().params)), QString::fromLatin1(GetParam().md5));
}

INSTANTIATE_TEST_SUITE_P(
    Digests, SignatureTest,
    ::testing::Values(
        // RFC 1321's last test input, reached as mid + one item.
        DigestCase{1234567890, u"", u"1234567890123456789012345678901234567890123456789012345678901234567890",
                   "57edf4a22be3c955ac49da2e2107b67a"},
        DigestCase{12345, u"s", u"api_id=8&method=activity.get&format=json&v=3.0",
                   "f1f04ecfdb9bc77201fd2ca6fd6511d2"},
        DigestCase{-42, u"secret", u"api_id=8&method=activity.get&format=json&v=3.0",
                   "8ca0b65d6747f4359ac72bb958f3219b"},
        DigestCase{7, u"x", u"B=1&a=2&C=3", "28370a9a9227e5998ca1923754eb0c3a"}, // letter case ignored
        DigestCase{7, u"x", u"b&&a&", "9a8ee25275e7d23f372d1debbdea1f1b"},       // empty item, final "&"
        DigestCase{7, u"x", u"", "8a1b0284de7d7f43f74ff50788b58df6"}));

struct SignedCall
{
    const char* name;
    qint32 mid;
    QString secret;
    std::function<void(TVKApi&)> call;
    QByteArray body; // up to "&sig=" and the digest
};

void PrintTo(const SignedCall& c, std::ostream* os)
{
    *os << c.name;
}

class SignedBodyTest : public VkFixture, public ::testing::WithParamInterface<SignedCall>
{
};

TEST_P(SignedBodyTest, IsSentExactly)
{
    const SignedCall& c = GetParam();
    api.Mid = c.mid;
    api.Secret = c.secret;
    api.Sid = u"sid0"_s;
    // The emulator knows no session "sid0": the calls that read the reply report VK's error.
    raisedBy([&] { c.call(api); });
    const QList<VkEmuRequest> r = Requests();
    ASSERT_EQ(Trail(), QStringList{kApiCall});
    EXPECT_EQ(r[0].body, c.body);
    EXPECT_EQ(r[0].Header(u"Content-Type"), u"application/x-www-form-urlencoded");
}

INSTANTIATE_TEST_SUITE_P(
    Calls, SignedBodyTest,
    ::testing::Values(
        SignedCall{
            "ActivityGet", 12345, u"s"_s, [](TVKApi& a) { a.GetActivity(); },
            "api_id=8&method=activity.get&format=json&v=3.0&sid=sid0&sig=f1f04ecfdb9bc77201fd2ca6fd6511d2"},
        SignedCall{
            "NegativeMid", -42, u"secret"_s, [](TVKApi& a) { a.GetActivity(); },
            "api_id=8&method=activity.get&format=json&v=3.0&sid=sid0&sig=8ca0b65d6747f4359ac72bb958f3219b"},
        SignedCall{"GetProfilesOfMid", 12345, u"s"_s, [](TVKApi& a) { a.GetProfiles(0); },
                   "api_id=8&method=getProfiles&uids=12345&fields=photo_medium&format=json&v=3.0&sid=sid0"
                   "&sig=dbdecc2e03eea3d748934cc089e28c36"},
        SignedCall{"StatusWithAmpersandIsOneItem", 12345, u"s"_s,
                   [](TVKApi& a) { a.SetActivity(u"a&b=c"_s); },
                   "api_id=8&method=activity.set&text=a%26b%3dc&format=json&v=3.0&sid=sid0"
                   "&sig=dc10e43684e22364c14b1c2785a16456"},
        SignedCall{"EmptyStatus", 12345, u"s"_s, [](TVKApi& a) { a.SetActivity(QString()); },
                   "api_id=8&method=activity.set&text=&format=json&v=3.0&sid=sid0"
                   "&sig=543af3ce7c5a7bffdff9a19fbc179a41"},
        // Sent as UTF-8, signed in Windows-1251 with "?" for the check mark.
        SignedCall{
            "CyrillicAndOutsideTheCodePage", 12345, u"тайна"_s,
            [](TVKApi& a) { a.SetActivity(u"Привет, мир✓"_s); },
            "api_id=8&method=activity.set&text=%d0%9f%d1%80%d0%b8%d0%b2%d0%b5%d1%82%2c+%d0%bc%d0%b8%d1%80"
            "%e2%9c%93&format=json&v=3.0&sid=sid0&sig=0c75d9bab29d01d37a97d31df572b403"}));

struct StatusCase
{
    const char* name;
    QString status;
    QByteArray sentText; // the text= field as it goes out
};

void PrintTo(const StatusCase& c, std::ostream* os)
{
    *os << c.name;
}

class StatusRoundTripTest : public VkFixture, public ::testing::WithParamInterface<StatusCase>
{
};

TEST_P(StatusRoundTripTest, IsAcceptedStoredAndReadBack)
{
    ASSERT_TRUE(SignIn());
    emu->ClearLog();
    api.SetActivity(GetParam().status);
    const QList<VkEmuRequest> r = Requests();
    ASSERT_EQ(r.size(), 1);
    EXPECT_TRUE(r[0].body.startsWith("api_id=8&method=activity.set&text=" + GetParam().sentText +
                                     "&format=json&v=3.0&sid=" + api.Sid.toLatin1() + "&sig="));
    EXPECT_EQ(emu->StatusOf(u"user@example.com"_s), GetParam().status);
    EXPECT_EQ(api.GetActivity(), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(Statuses, StatusRoundTripTest,
                         ::testing::Values(StatusCase{"Cyrillic", u"Привет"_s,
                                                      "%d0%9f%d1%80%d0%b8%d0%b2%d0%b5%d1%82"},
                                           StatusCase{"Ampersand", u"a&b=c"_s, "a%26b%3dc"},
                                           StatusCase{"OutsideTheCodePage", u"✓ готово"_s,
                                                      "%e2%9c%93+%d0%b3%d0%be%d1%82%d0%be%d0%b2%d0%be"},
                                           StatusCase{"PercentAndPlus", u"100% + 1"_s, "100%25+%2b+1"},
                                           StatusCase{"Empty", QString(), ""}));

struct FailureCase
{
    const char* name;
    QJsonObject script;
    std::function<void(TVKApi&)> spoil; // run on a signed-in client before the call
    QString getMessage;
    QString setMessage;
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class ApiFailureTest : public VkFixture, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(ApiFailureTest, IsReportedNeverTakenForSuccess)
{
    ASSERT_TRUE(SignIn());
    const FailureCase& c = GetParam();
    if (!c.script.isEmpty()) {
        ASSERT_TRUE(emu->Script(c.script));
    }
    if (c.spoil)
        c.spoil(api);
    EXPECT_EQ(raisedBy([this] { api.GetActivity(); }), c.getMessage);
    EXPECT_EQ(raisedBy([this] { api.SetActivity(u"новый"_s); }), c.setMessage);
    if (!c.setMessage.isEmpty()) {
        EXPECT_EQ(emu->StatusOf(u"user@example.com"_s), u"Привет, мир");
    }
}

const QJsonObject kDropApi{
    {u"rules"_s, QJsonArray{QJsonObject{{u"path"_s, u"/api.php"_s}, {u"action"_s, u"drop"_s}}}}};
const QJsonObject kServerError{
    {u"rules"_s, QJsonArray{QJsonObject{{u"path"_s, u"/api.php"_s},
                                        {u"action"_s, u"reply"_s},
                                        {u"status"_s, 500},
                                        {u"body"_s, u"{\"response\":{\"activity\":\"x\"}}"_s}}}}};
const QJsonObject kHugeReply{
    {u"rules"_s, QJsonArray{QJsonObject{{u"path"_s, u"/api.php"_s},
                                        {u"action"_s, u"reply"_s},
                                        {u"content_type"_s, u"application/json"_s},
                                        {u"head"_s, u"{\"response\":{\"activity\":\""_s},
                                        {u"open"_s, u"0123456789"_s},
                                        {u"repeat"_s, 1000000}}}}};
const QString kPermission =
    u"{\"error\":{\"error_code\":7,\"error_msg\":\"Permission to perform this action is denied\"}}"_s;

INSTANTIATE_TEST_SUITE_P(
    Failures, ApiFailureTest,
    ::testing::Values(
        FailureCase{"ConnectionDropped",
                    kDropApi,
                    {},
                    u"Не удалось получить статус"_s,
                    u"Не удалось отправить статус"_s},
        FailureCase{"ServerError",
                    kServerError,
                    {},
                    u"Не удалось получить статус"_s,
                    u"Не удалось отправить статус"_s},
        FailureCase{"WrongSecret",
                    {},
                    [](TVKApi& a) { a.Secret += u'x'; },
                    u"Ошибка VK: Incorrect signature"_s,
                    u"Ошибка VK: Incorrect signature"_s},
        FailureCase{"UnknownSession",
                    {},
                    [](TVKApi& a) { a.Sid = u"nope"_s; },
                    u"Ошибка VK: User authorization failed: invalid session."_s,
                    u"Ошибка VK: User authorization failed: invalid session."_s},
        FailureCase{"ErrorObject",
                    QJsonObject{{u"api_replies"_s, QJsonObject{{u"activity.get"_s, kPermission},
                                                               {u"activity.set"_s, kPermission}}}},
                    {},
                    u"Ошибка VK: Permission to perform this action is denied"_s,
                    u"Ошибка VK: Permission to perform this action is denied"_s},
        // The set call's reply is not looked into beyond an error object.
        FailureCase{
            "NotJson", apiReply(u"activity.get"_s, u"oops"_s), {}, u"Не удалось получить статус"_s, {}},
        FailureCase{"NoResponse",
                    apiReply(u"activity.get"_s, u"{\"foo\":1}"_s),
                    {},
                    u"Не удалось получить статус"_s,
                    {}},
        FailureCase{"ResponseNotAnObject",
                    apiReply(u"activity.get"_s, u"{\"response\":\"x\"}"_s),
                    {},
                    u"Не удалось получить статус"_s,
                    {}},
        FailureCase{"DeepNesting",
                    apiReply(u"activity.get"_s, nested(100000)),
                    {},
                    u"Не удалось получить статус"_s,
                    {}},
        FailureCase{"TenMegabytesUnterminated", kHugeReply, {}, u"Не удалось получить статус"_s, {}}));

TEST_F(VkFixture, ActivityMissingFromTheResponseIsEmpty)
{
    ASSERT_TRUE(SignIn());
    emu->Script(apiReply(u"activity.get"_s, u"{\"response\":{\"activity\":null}}"_s));
    EXPECT_EQ(api.GetActivity(), QString());
}

TEST_F(VkFixture, ProfileOfTheSignedInUser)
{
    ASSERT_TRUE(SignIn());
    emu->ClearLog();
    api.GetProfiles(0);
    ASSERT_EQ(Requests().size(), 1);
    EXPECT_TRUE(Requests()[0].body.startsWith("api_id=8&method=getProfiles&uids=12345&fields=photo_medium&"));
    ASSERT_EQ(api.Profiles.Count(), 1);
    const TVKProfile* p = api.Profiles.Find(0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Uid, 12345);
    EXPECT_EQ(p->FirstName, u"Иван");
    EXPECT_EQ(p->LastName, u"Петров");
    EXPECT_EQ(p->PhotoMedium, u"http://" QUILLBOX_VK_SITE_HOST "/images/camera_b.gif");
    EXPECT_EQ(p->Api, &api);

    // A reply without uid now means the signed-in user, who is in the list already.
    emu->Script(apiReply(u"getProfiles"_s, u"{\"response\":[{\"first_name\":\"Другой\"}]}"_s));
    api.GetProfiles(0);
    EXPECT_EQ(api.Profiles.Count(), 1);
    EXPECT_EQ(api.Profiles.Find(0)->FirstName, u"Иван");
}

TEST_F(VkFixture, ProfilesKeepTheFirstRecordOfEachUid)
{
    ASSERT_TRUE(SignIn());
    emu->Script(apiReply(
        u"getProfiles"_s,
        uR"({"response":[{"uid":5,"first_name":"A","last_name":"B","photo_rec":"r","photo_medium":"m"},)"
        uR"({"uid":4294967301,"first_name":"Z"},null,{"first_name":"NoUid"},)"
        uR"({"uid":"77","first_name":5,"last_name":null}]})"_s));
    api.GetProfiles(5);
    ASSERT_EQ(api.Profiles.Count(), 3);
    EXPECT_EQ(api.Profiles[0]->Uid, 5);
    EXPECT_EQ(api.Profiles[0]->FirstName, u"A");
    EXPECT_EQ(api.Profiles[0]->PhotoRec, u"r");
    EXPECT_EQ(api.Profiles[1]->Uid, 0);
    EXPECT_EQ(api.Profiles[1]->FirstName, u"NoUid");
    EXPECT_EQ(api.Profiles[2]->Uid, 77);
    EXPECT_EQ(api.Profiles[2]->FirstName, u"5");
    EXPECT_EQ(api.Profiles[2]->LastName, QString());

    // Names changed at VK later: what was read first stays.
    emu->Script(apiReply(u"getProfiles"_s, u"{\"response\":[{\"uid\":5,\"first_name\":\"New\"}]}"_s));
    api.GetProfiles(5);
    EXPECT_EQ(api.Profiles.Count(), 3);
    EXPECT_EQ(api.Profiles.Find(5)->FirstName, u"A");
}

TEST_F(VkFixture, UnusableProfileRepliesAddNothing)
{
    ASSERT_TRUE(SignIn());
    for (const QString& reply : {u"{\"response\":{}}"_s, u"{\"response\":null}"_s, u"not json"_s,
                                 u"{\"response\":[1,\"x\",[]]}"_s, nested(100000)}) {
        emu->Script(apiReply(u"getProfiles"_s, reply));
        api.GetProfiles(0);
        EXPECT_EQ(api.Profiles.Count(), 0) << reply.left(40).toStdString();
    }
    emu->Script(kDropApi);
    api.GetProfiles(0);
    EXPECT_EQ(api.Profiles.Count(), 0);
}
