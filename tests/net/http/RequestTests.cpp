// What goes on the wire: exactly the headers we set, in the version asked for.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/net/http/HttpTestUtil.h"
#include "net/AsyncHttp.h"
#include "tests/testsupport/LocalHttpServer.h"

using namespace Qt::StringLiterals;
using ::testing::ElementsAre;

namespace {

const std::string DefaultAccept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";

class RequestTest : public HttpTest
{
protected:
    RawHttpServer server{[](const RecordedRequest&, RawConnection& c) { c.Reply(200, {}, "ok"); }};

    RecordedRequest Only() const
    {
        const std::vector<RecordedRequest> all = server.Requests();
        EXPECT_EQ(all.size(), 1u);
        return all.empty() ? RecordedRequest{} : all.front();
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(server.Port()); }
};

TEST_F(RequestTest, GetSendsOnlyTheDefaultHeaders)
{
    const auto http = CreateHttp(server.Url(u"/path/x.php?a=1&b=%D0%90#frag"_s));
    ASSERT_TRUE(http->Get());
    EXPECT_EQ(http->ResponseText(), u"ok"_s);
    const RecordedRequest r = Only();
    EXPECT_EQ(r.head, "GET /path/x.php?a=1&b=%D0%90 HTTP/1.1\r\n"
                      "Host: " +
                          Host() +
                          "\r\n"
                          "Accept: " +
                          DefaultAccept +
                          "\r\n"
                          "Accept-Encoding: gzip;q=1.0, identity;q=0.5\r\n"
                          "User-Agent: Mozilla/4.0 (compatible; ICS)\r\n"
                          "\r\n");
}

TEST_F(RequestTest, PostSendsItsBodyWithTypeAndLengthAndNoExpect)
{
    // a 255-character Cyrillic status encodes to about 1.5 KiB; libcurl adds "Expect: 100-continue"
    // by itself from some size on (1 MiB in 7.88), so a large body is tried too
    std::string status = "method=activity.set&text=";
    for (int i = 0; i < 255; ++i)
        status += "%D0%AF";
    for (const std::string& body : {status, std::string(1100 * 1024, 'b')}) {
        RawHttpServer s([](const RecordedRequest&, RawConnection& c) { c.Reply(200, {}, "ok"); });
        const auto http = CreateHttp(s.Url(u"/api.php"_s));
        http->SetPostData(QByteArray::fromStdString(body));
        ASSERT_TRUE(http->Post());
        ASSERT_EQ(s.Requests().size(), 1u);
        const RecordedRequest r = s.Requests()[0];
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.body, body);
        EXPECT_THAT(r.HeaderNames(), ElementsAre("Host", "Accept", "Content-Type", "Accept-Encoding",
                                                 "User-Agent", "Content-Length"));
        EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
        EXPECT_EQ(r.Header("Content-Length"), std::to_string(body.size()));
    }
}

TEST_F(RequestTest, HitStyleRequestIsHttp10WithItsOwnHeaders)
{
    const auto http = CreateHttp(server.Url(u"/__utm.gif?utmwv=1"_s));
    http->RequestVer = u"1.0"_s;
    http->Reference = u"http://quillbox.example/"_s;
    http->Agent = u"Opera/9.80"_s;
    http->AcceptLanguage = u"ru,en;q=0.8"_s;
    http->Connection = u"Keep-Alive"_s;
    ASSERT_TRUE(http->PlainGet());
    const RecordedRequest r = Only();
    EXPECT_EQ(r.head, "GET /__utm.gif?utmwv=1 HTTP/1.0\r\n"
                      "Host: " +
                          Host() +
                          "\r\n"
                          "Accept: " +
                          DefaultAccept +
                          "\r\n"
                          "Referer: http://quillbox.example/\r\n"
                          "Accept-Language: ru,en;q=0.8\r\n"
                          "Accept-Encoding: gzip;q=1.0, identity;q=0.5\r\n"
                          "User-Agent: Opera/9.80\r\n"
                          "Connection: Keep-Alive\r\n"
                          "\r\n");
}

TEST_F(RequestTest, EmptyValuesSendNoHeaderAtAll)
{
    const auto http = CreateHttp(server.Url(u"/"_s));
    http->Accept.clear();
    http->Agent.clear();
    http->ContentTypePost.clear();
    http->SetPostData("x=1");
    ASSERT_TRUE(http->Post());
    EXPECT_THAT(Only().HeaderNames(), ElementsAre("Host", "Accept-Encoding", "Content-Length"));
}

TEST_F(RequestTest, CookieAndHookLinesGoOut)
{
    const QString domain = CookieDomainOf(server.Url(u"/"_s));
    CookieJar->SetCookie(domain, u"remixsid=abc"_s);
    CookieJar->SetCookie(domain, u"b=2"_s);
    const auto http = CreateHttp(server.Url(u"/"_s));
    QString seenMethod;
    http->OnBeforeHeaderSend = [&](TAsyncHttp* sender, const QString& method, QStringList& lines) {
        EXPECT_EQ(sender, http.get());
        seenMethod = method;
        lines.append(u"X-Requested-With: XMLHttpRequest"_s);
    };
    http->SetPostData("a=1");
    ASSERT_TRUE(http->Post());
    EXPECT_EQ(seenMethod, u"POST"_s);
    const RecordedRequest r = Only();
    EXPECT_EQ(r.Header("Cookie"), "remixsid=abc; b=2;");
    EXPECT_EQ(r.Header("X-Requested-With"), "XMLHttpRequest");
}

TEST_F(RequestTest, PlainGetSkipsTheJarAndDiscardsTheBody)
{
    RawHttpServer hit([](const RecordedRequest&, RawConnection& c) {
        c.Reply(200, {"Set-Cookie: __utmz=1; path=/"}, "GIF89a");
    });
    CookieJar->SetCookie(CookieDomainOf(hit.Url(u"/"_s)), u"a=1"_s);
    const auto http = CreateHttp(hit.Url(u"/__utm.gif"_s));
    QStringList seen;
    http->OnCookie = [&](TAsyncHttp*, const QString& value, bool&) { seen.append(value); };
    ASSERT_TRUE(http->PlainGet());
    EXPECT_TRUE(http->ResponseBytes().isEmpty());
    EXPECT_EQ(seen, QStringList{u"__utmz=1; path=/"_s});
    ASSERT_EQ(hit.Requests().size(), 1u);
    EXPECT_FALSE(hit.Requests()[0].HasHeader("Cookie"));
}

TEST_F(RequestTest, HttpFetchChoosesTheMethodByTheBody)
{
    EXPECT_EQ(HttpFetch(server.Url(u"/a"_s), QString()), u"ok"_s);
    EXPECT_EQ(HttpFetch(server.Url(u"/b"_s), u"text=Я"_s), u"ok"_s);
    const std::vector<RecordedRequest> all = server.Requests();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].method, "GET");
    EXPECT_FALSE(all[0].HasHeader("Content-Length"));
    EXPECT_EQ(all[1].method, "POST");
    EXPECT_EQ(all[1].body, "text=\xDF"); // the body goes out as 8-bit text
    EXPECT_EQ(all[1].Header("Content-Type"), "application/x-www-form-urlencoded");
}

TEST_F(RequestTest, HostMappingKeepsTheRealHostName)
{
    HttpSetHostMapping(u"vk.com"_s, 80, server.Port());
    CookieJar->SetCookie(u"vk.com"_s, u"remixsid=1"_s);
    const auto http = CreateHttp(u"http://vk.com/login.php?x=1"_s);
    ASSERT_TRUE(http->Get());
    const RecordedRequest r = Only();
    EXPECT_EQ(r.target, "/login.php?x=1");
    EXPECT_EQ(r.Header("Host"), "vk.com");
    EXPECT_EQ(r.Header("Cookie"), "remixsid=1;");
}

TEST_F(RequestTest, NoConnectionIsReusedBetweenClients)
{
    // cpp-httplib keeps connections alive, so a reused one would show as a repeated client port
    LocalHttpServer keepAlive;
    keepAlive.Server().Get(
        "/", [](const httplib::Request&, httplib::Response& res) { res.set_content("x", "text/plain"); });
    keepAlive.Start();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(HttpFetch(keepAlive.Url(u"/"_s), QString()), u"x"_s);
    keepAlive.Stop();
    const std::vector<RecordedRequest> all = keepAlive.Requests();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_NE(all[0].remotePort, all[1].remotePort);
    EXPECT_NE(all[1].remotePort, all[2].remotePort);
    EXPECT_NE(all[0].remotePort, all[2].remotePort);
}

} // namespace
