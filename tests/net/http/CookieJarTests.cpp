// The cookie jar: its domain rule, the Set-Cookie hook, replacement by name and the header.
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/net/http/HttpTestUtil.h"
#include "net/AsyncHttp.h"
#include "net/CookieJar.h"
#include "tests/testsupport/LocalHttpServer.h"

using namespace Qt::StringLiterals;

namespace {

class CookieJarTest : public HttpTest
{
};

TEST(CookieDomainOf, LastTwoLabelsOfTheHost)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {u"http://alpha.beta.gamma/path/x.php?a=b.c"_s, u"beta.gamma"_s},
        {u".beta.gamma"_s, u"beta.gamma"_s},
        {u"beta.gamma"_s, u"beta.gamma"_s},
        {u"localhost"_s, u".localhost"_s},
        {u"beta.gamma:8080"_s, u"beta.gamma:8080"_s},
        {u"http://login.vk.com:80/"_s, u"vk.com:80"_s},
        {QString(), QString()},
        {u"."_s, QString()},
        {u"/path.x/y"_s, QString()},
        {u"HTTP://Alpha.Beta.Gamma/"_s, u"Beta.Gamma"_s},
        {u"hTtP://a.b.c"_s, u"b.c"_s},
        {u"https://a.b.c/"_s, u".https:"_s},
        {u"http://http://a.b"_s, u"a.b"_s},
        {u"a.b."_s, u"b."_s},
    };
    for (const auto& [address, domain] : cases)
        EXPECT_EQ(CookieDomainOf(address), domain) << Std(address);
}

TEST_F(CookieJarTest, SetCookieReplacesByNameInPlaceAndAppendsOtherwise)
{
    CookieJar->SetCookie(u"vk.com"_s, u"a=1"_s);
    CookieJar->SetCookie(u"vk.com"_s, u"b=2"_s);
    CookieJar->SetCookie(u"vk.com"_s, u"A=3"_s);  // same name in another case: replaced
    CookieJar->SetCookie(u"vk.com"_s, u"flag"_s); // no "=": appended every time
    CookieJar->SetCookie(u"vk.com"_s, u"flag"_s);
    CookieJar->SetCookie(u"vk.com"_s, u"b=x=y"_s); // the name ends at the first "="
    CookieJar->SetCookie(u"vk.com"_s, u"Ж=1"_s);
    CookieJar->SetCookie(u"vk.com"_s, u"ж=2"_s);
    EXPECT_EQ(CookieJar->GetCookieHeader(u"vk.com"_s), u"A=3; b=x=y; flag; flag; ж=2;"_s);
    ASSERT_TRUE(CookieJar->Find(u"vk.com"_s).has_value());
    EXPECT_EQ(CookieJar->Find(u"vk.com"_s)->Values.size(), 5);
}

TEST_F(CookieJarTest, DomainsAreExactTexts)
{
    CookieJar->SetCookie(u"vk.com"_s, u"a=1"_s);
    CookieJar->SetCookie(u"VK.com"_s, u"b=2"_s);
    EXPECT_EQ(CookieJar->Count(), 2);
    EXPECT_EQ(CookieJar->GetCookieHeader(u"vk.com"_s), u"a=1;"_s);
    EXPECT_EQ(CookieJar->GetCookieHeader(u"VK.com"_s), u"b=2;"_s);
    EXPECT_TRUE(CookieJar->GetCookieHeader(u"Vk.com"_s).isEmpty());
    EXPECT_FALSE(CookieJar->Find(u"Vk.com"_s).has_value());
    EXPECT_EQ(CookieJar->Find(u"VK.com"_s)->Domain, u"VK.com"_s);
}

struct SetCookieCase
{
    QString value;
    QString domain; // where it should land; empty: nowhere
    QString pair;
};

TEST_F(CookieJarTest, HandleSetCookieStoresUnderTheFirstAttributesDomainOrTheRequest)
{
    const std::vector<SetCookieCase> cases = {
        {u"remixsid=abc; path=/; domain=.vk.com"_s, u"example.org"_s, u"remixsid=abc"_s},
        {u"remixsid=abc; domain=.vk.com; path=/"_s, u"vk.com"_s, u"remixsid=abc"_s},
        {u"s=1;Domain=.Login.VK.com"_s, u"VK.com"_s, u"s=1"_s},
        {u"s=2; mydomain=api.other.net; path=/"_s, u"other.net"_s, u"s=2"_s}, // "domain=" inside a word
        {u"s=3; domain=; path=/"_s, u"example.org"_s, u"s=3"_s},
        {u"s=4; expires=Thu, 01-Jan-1970 00:00:01 GMT"_s, u"example.org"_s, u"s=4"_s},
        {u"s=5;"_s, u"example.org"_s, u"s=5"_s},
        {u"a=1; b=2; domain=x.y"_s, u"example.org"_s, u"a=1"_s},
        {u"s=6; domain=a.b.c\r\n"_s, u"b.c"_s, u"s=6"_s},
    };
    for (const SetCookieCase& c : cases) {
        CookieJarStop();
        CookieJarStart();
        TAsyncHttp http;
        http.URL = u"http://www.example.org/login.php"_s;
        bool accept = true;
        http.OnCookie(&http, c.value, accept);
        EXPECT_TRUE(accept);
        EXPECT_EQ(CookieJar->Count(), 1) << Std(c.value);
        EXPECT_EQ(CookieJar->GetCookieHeader(c.domain), c.pair + u';') << Std(c.value);
    }
    CookieJarStop();
    CookieJarStart();
    TAsyncHttp http;
    http.URL = u"http://www.example.org/"_s;
    bool accept = true;
    http.HandleSetCookie(&http, u"bare=value"_s, accept); // no ";": not stored
    EXPECT_EQ(CookieJar->Count(), 0);
}

TEST_F(CookieJarTest, RequestsCarryTheirDomainsCookiesOnly)
{
    RawHttpServer server([](const RecordedRequest&, RawConnection& c) {
        c.Reply(200, {"Set-Cookie: remixsid=s1; path=/", "Set-Cookie: lang=0; path=/"}, "");
    });
    HttpSetHostMapping(u"vk.com"_s, 80, server.Port());
    HttpSetHostMapping(u"login.vk.com"_s, 80, server.Port());
    HttpSetHostMapping(u"other.net"_s, 80, server.Port());
    ASSERT_TRUE(CreateHttp(u"http://login.vk.com/?act=login"_s)->Get());
    ASSERT_TRUE(CreateHttp(u"http://vk.com/apps.php"_s)->Get());
    ASSERT_TRUE(CreateHttp(u"http://other.net/"_s)->Get());
    const std::vector<RecordedRequest> all = server.Requests();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_FALSE(all[0].HasHeader("Cookie"));
    EXPECT_EQ(all[1].Header("Cookie"), "remixsid=s1; lang=0;");
    EXPECT_FALSE(all[2].HasHeader("Cookie"));

    const auto http = CreateHttp(u"http://VK.com:81/"_s);
    http->PrepareCookies();
    EXPECT_TRUE(http->Cookie.isEmpty());
    http->URL = u"http://api.vk.com/api.php"_s;
    http->PrepareCookies();
    EXPECT_EQ(http->Cookie, u"remixsid=s1; lang=0;"_s);
}

TEST_F(CookieJarTest, TwoThreadsShareTheJar)
{
    constexpr int Rounds = 20000;
    auto hammer = [](int id) {
        TAsyncHttp http;
        http.URL = u"http://t%1.example.org/"_s.arg(id);
        for (int i = 0; i < Rounds; ++i) {
            const QString name = u"c%1_%2"_s.arg(id).arg(i % 50);
            CookieJar->SetCookie(u"d%1"_s.arg(i % 7), name + u"="_s + QString::number(i));
            bool accept = true;
            http.HandleSetCookie(&http, name + u"=v; path=/"_s, accept);
            const QString header = CookieJar->GetCookieHeader(u"d%1"_s.arg(i % 7));
            EXPECT_FALSE(header.isEmpty());
            http.PrepareCookies();
            EXPECT_FALSE(http.Cookie.isEmpty());
            EXPECT_TRUE(CookieJar->Find(u"example.org"_s).has_value());
        }
    };
    std::thread a(hammer, 1);
    std::thread b(hammer, 2);
    a.join();
    b.join();
    EXPECT_EQ(CookieJar->Count(), 8);
    for (int d = 0; d < 7; ++d)
        EXPECT_EQ(CookieJar->Find(u"d%1"_s.arg(d))->Values.size(), 100);
    EXPECT_EQ(CookieJar->Find(u"example.org"_s)->Values.size(), 100);
}

} // namespace
