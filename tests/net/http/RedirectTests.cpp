// Redirects followed by our own code: the Location seen, the cookies of every hop, the method.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/net/http/HttpTestUtil.h"
#include "net/AsyncHttp.h"
#include "net/UrlResolve.h"
#include "tests/testsupport/LocalHttpServer.h"

using namespace Qt::StringLiterals;

namespace {

class RedirectTest : public HttpTest
{
protected:
    // "/hop/N" redirects to "/hop/N-1"; "/hop/0" is the final page.
    RawHttpServer server{[](const RecordedRequest& r, RawConnection& c) {
        if (r.target.rfind("/hop/", 0) == 0) {
            const int n = std::stoi(r.target.substr(5));
            if (n == 0)
                c.Reply(200, {}, "final");
            else
                c.Reply(302, {"Location: /hop/" + std::to_string(n - 1)}, "moved");
        } else if (r.target.rfind("/to?", 0) == 0) {
            c.Reply(302, {"Location: " + r.target.substr(4)}, "");
        }
    }};
};

TEST_F(RedirectTest, ChainOfTwoWithFragmentsAndCookiesOnEveryHop)
{
    RawHttpServer second([](const RecordedRequest& r, RawConnection& c) {
        if (r.target == "/b")
            c.Reply(302,
                    {"Set-Cookie: two=2; path=/", "Location: blank.html#access_token=x%20y&expires_in=0"},
                    "");
        else
            c.Reply(200, {"Set-Cookie: three=3; domain=.vk.com"}, "done");
    });
    RawHttpServer first([&](const RecordedRequest&, RawConnection& c) {
        c.Reply(301,
                {"Set-Cookie: one=1; path=/", "Set-Cookie: other=x; path=/",
                 "Location: http://127.0.0.1:" + std::to_string(second.Port()) + "/b#first"},
                "");
    });
    const auto http = CreateHttp(first.Url(u"/a"_s));
    http->Cookie = u"sent=1"_s;
    QStringList seen;
    http->OnCookie = [&](TAsyncHttp* sender, const QString& value, bool& accept) {
        EXPECT_EQ(sender, http.get());
        EXPECT_TRUE(accept);
        seen.append(value);
    };
    // Get would replace Cookie from the jar, so prepare it there
    CookieJar->SetCookie(CookieDomainOf(first.Url(u"/"_s)), u"sent=1"_s);
    ASSERT_TRUE(http->Get());
    EXPECT_EQ(http->ResponseText(), u"done"_s);
    EXPECT_EQ(http->Location(), second.Url(u"/blank.html#access_token=x%20y&expires_in=0"_s));
    EXPECT_EQ(http->URL, first.Url(u"/a"_s));
    EXPECT_EQ(seen, (QStringList{u"one=1; path=/"_s, u"other=x; path=/"_s, u"two=2; path=/"_s,
                                 u"three=3; domain=.vk.com"_s}));
    ASSERT_EQ(first.Requests().size(), 1u);
    ASSERT_EQ(second.Requests().size(), 2u);
    EXPECT_EQ(second.Requests()[0].target, "/b");
    EXPECT_EQ(second.Requests()[1].target, "/blank.html");
    for (const RecordedRequest& r : {first.Requests()[0], second.Requests()[0], second.Requests()[1]})
        EXPECT_EQ(r.Header("Cookie"), "sent=1;");
}

TEST_F(RedirectTest, SetCookieOnRedirectsGoesIntoTheJarUnderTheRequestedAddress)
{
    RawHttpServer other(
        [](const RecordedRequest&, RawConnection& c) { c.Reply(200, {"Set-Cookie: b=2;"}, ""); });
    RawHttpServer start([&](const RecordedRequest&, RawConnection& c) {
        c.Reply(302, {"Set-Cookie: a=1; path=/", "Location: " + Std(other.Url(u"/"_s))}, "");
    });
    ASSERT_TRUE(CreateHttp(start.Url(u"/"_s))->Get());
    // both ports are 127.0.0.1, so the cookie domain tells which address was used
    EXPECT_EQ(CookieJar->GetCookieHeader(CookieDomainOf(start.Url(u"/"_s))), u"a=1; b=2;"_s);
    EXPECT_TRUE(CookieJar->GetCookieHeader(CookieDomainOf(other.Url(u"/"_s))).isEmpty());
}

TEST_F(RedirectTest, AtMostLocationChangeMaxCountRedirects)
{
    const auto five = CreateHttp(server.Url(u"/hop/5"_s));
    ASSERT_TRUE(five->Get());
    EXPECT_EQ(five->ResponseText(), u"final"_s);
    EXPECT_EQ(five->Location(), server.Url(u"/hop/0"_s));

    const auto six = CreateHttp(server.Url(u"/hop/6"_s));
    EXPECT_FALSE(six->Get());
    EXPECT_EQ(six->Location(), server.Url(u"/hop/1"_s));

    const auto two = CreateHttp(server.Url(u"/hop/2"_s));
    two->LocationChangeMaxCount = 1;
    EXPECT_FALSE(two->Get());
}

TEST_F(RedirectTest, WithoutFollowingTheRedirectIsTheReply)
{
    const auto http = CreateHttp(server.Url(u"/hop/1"_s));
    http->FollowRelocation = false;
    ASSERT_TRUE(http->Get());
    EXPECT_EQ(http->StatusCode(), 302);
    EXPECT_EQ(http->ResponseText(), u"moved"_s);
    EXPECT_EQ(http->Location(), server.Url(u"/hop/1"_s));
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(RedirectTest, PostBecomesGetOnlyFor301To303)
{
    for (const int status : {301, 302, 303, 307, 308}) {
        RawHttpServer s([status](const RecordedRequest& r, RawConnection& c) {
            if (r.target == "/form")
                c.Reply(status, {"Location: /next"}, "");
            else
                c.Reply(200, {}, r.method + ":" + r.body);
        });
        const auto http = CreateHttp(s.Url(u"/form"_s));
        http->SetPostData("a=1&b=2");
        ASSERT_TRUE(http->Post()) << status;
        const std::vector<RecordedRequest> all = s.Requests();
        ASSERT_EQ(all.size(), 2u);
        if (status <= 303) {
            EXPECT_EQ(http->ResponseText(), u"GET:"_s) << status;
            EXPECT_FALSE(all[1].HasHeader("Content-Type")) << status;
            EXPECT_FALSE(all[1].HasHeader("Content-Length")) << status;
        } else {
            EXPECT_EQ(http->ResponseText(), u"POST:a=1&b=2"_s) << status;
            EXPECT_EQ(all[1].Header("Content-Type"), "application/x-www-form-urlencoded");
        }
    }
}

TEST_F(RedirectTest, OnlyHttpTargetsAreFollowed)
{
    for (const QString& target :
         {u"file:///etc/passwd"_s, u"ftp://127.0.0.1/x"_s, u"FILE:/etc/passwd"_s, u"javascript:alert(1)"_s}) {
        const auto http = CreateHttp(server.Url(u"/to?"_s + target));
        EXPECT_FALSE(http->Get()) << Std(target);
        EXPECT_NE(http->ResponseText(), u"root"_s);
    }
    EXPECT_FALSE(CreateHttp(u"file:///etc/passwd"_s)->Get());
    EXPECT_TRUE(HttpFetch(u"file:///etc/passwd"_s, QString()).isEmpty());
    // the scheme is not case-sensitive, so this one is followed
    EXPECT_TRUE(
        CreateHttp(server.Url(u"/to?HTTP://127.0.0.1:"_s + QString::number(server.Port()) + u"/hop/0"_s))
            ->Get());
}

struct ResolveCase
{
    const char* reference;
    const char* expected;
};

TEST(ResolveReference, FollowsTheStandardResolution)
{
    // the normal and abnormal examples of RFC 3986 section 5.4, plus what redirects need
    const char* base = "http://a/b/c/d;p?q";
    const std::vector<ResolveCase> cases = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../g", "http://a/g"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"  /g#a b%zz  ", "http://a/g#a b%zz"}, // blanks around dropped, the fragment kept raw
        {"http://x/y#\xD0\xB0", "http://x/y#\xD0\xB0"},
    };
    for (const ResolveCase& c : cases)
        EXPECT_EQ(ResolveReference(base, c.reference).toStdString(), c.expected) << c.reference;
    EXPECT_EQ(ResolveReference("http://h:81", "x").toStdString(), "http://h:81/x");
    EXPECT_EQ(WireUrl("http://h/a b?c=\xD0#frag").toStdString(), "http://h/a%20b?c=%D0");
}

} // namespace
