// What a reply gives the caller: the status verdict, the plain body, its decoding, the caps.
#include <string>
#include <vector>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/net/http/HttpTestUtil.h"
#include "net/AsyncHttp.h"
#include "tests/testsupport/LocalHttpServer.h"

using namespace Qt::StringLiterals;

namespace {

class ReplyTest : public HttpTest
{
};

struct StatusCase
{
    int status;
    bool success;
};

TEST_F(ReplyTest, StatusDecidesTheResultAndTheErrorPageStaysReadable)
{
    const std::vector<StatusCase> cases = {{200, true},  {204, true},  {304, true},  {399, true}, {400, false},
                                           {401, true},  {403, false}, {404, false}, {407, true}, {500, false},
                                           {302, true} /* no Location: nothing to follow, a plain reply */};
    for (const StatusCase& c : cases) {
        RawHttpServer server([&](const RecordedRequest&, RawConnection& conn) {
            conn.Reply(c.status, {"Content-Type: text/html"},
                       c.status == 204 || c.status == 304 ? "" : "page");
        });
        const auto http = CreateHttp(server.Url(u"/"_s));
        EXPECT_EQ(http->Get(), c.success) << c.status;
        EXPECT_EQ(http->StatusCode(), c.status);
        EXPECT_EQ(http->ContentType(), u"text/html"_s);
        if (c.status != 204 && c.status != 304) {
            EXPECT_EQ(http->ResponseText(), u"page"_s) << c.status;
        }
        EXPECT_EQ(HttpFetch(server.Url(u"/"_s), QString()).isEmpty(),
                  !c.success || c.status == 204 || c.status == 304)
            << c.status;
    }
}

struct DecodingCase
{
    const char* contentType; // nullptr: no header
    std::string body;
    QString expected;
};

TEST_F(ReplyTest, HttpFetchDecodesUtf8OnlyWhenTheTypeSaysSo)
{
    const std::vector<DecodingCase> cases = {
        {"application/json; charset=UTF-8", "\xD0\xAF\xD1\x8F", u"Яя"_s},
        {"text/html; charset=utf-8", "ok\xFF!", u"ok\uFFFD!"_s}, // malformed bytes become U+FFFD
        {"text/html; charset=windows-1251", "\xDF\xFF", u"Яя"_s},
        {nullptr, "\xDF\xFF", u"Яя"_s},
        {"text/plain", "\x98", u"\u0098"_s},
    };
    for (const DecodingCase& c : cases) {
        RawHttpServer server([&](const RecordedRequest&, RawConnection& conn) {
            std::vector<std::string> headers;
            if (c.contentType)
                headers.push_back(std::string("Content-Type: ") + c.contentType);
            conn.Reply(200, headers, c.body);
        });
        EXPECT_EQ(HttpFetch(server.Url(u"/"_s), QString()), c.expected)
            << (c.contentType ? c.contentType : "none");
    }
}

TEST_F(ReplyTest, GzipAndChunkedBodiesArriveWhole)
{
    std::string plain;
    for (int i = 0; i < 20000; ++i)
        plain += "строка " + std::to_string(i) + "\n";
    const std::string coded = Gzip(plain);
    const std::string half1 = coded.substr(0, coded.size() / 2);
    const std::string half2 = coded.substr(coded.size() / 2);
    struct Case
    {
        const char* name;
        std::string head;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"gzip", "Content-Encoding: gzip\r\nContent-Length: " + std::to_string(coded.size()), coded},
        {"chunked", "Transfer-Encoding: chunked", Chunked({plain.substr(0, 777), plain.substr(777)})},
        {"chunked gzip", "Transfer-Encoding: chunked\r\nContent-Encoding: gzip", Chunked({half1, half2})},
        {"two gzip members", "Content-Encoding: gzip",
         Gzip(plain.substr(0, 1000)) + Gzip(plain.substr(1000))}, // close-delimited
    };
    for (const Case& c : cases) {
        RawHttpServer server([&](const RecordedRequest&, RawConnection& conn) {
            conn.Send("HTTP/1.1 200 OK\r\n" + c.head + "\r\n\r\n");
            conn.Send(c.body);
        });
        const auto http = CreateHttp(server.Url(u"/"_s));
        ASSERT_TRUE(http->Get()) << c.name;
        EXPECT_EQ(http->ResponseBytes().toStdString(), plain) << c.name;
    }
}

TEST_F(ReplyTest, BrokenBodiesFailTheExchange)
{
    const std::string coded = Gzip(std::string(100000, 'a'));
    std::string corrupt = coded;
    corrupt[corrupt.size() / 2] ^= 0x55;
    struct Case
    {
        const char* name;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {"closed mid-body", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(400, 'x')},
        {"chunked cut",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n100\r\n" + std::string(50, 'x')},
        {"not gzip at all",
         "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 11\r\n\r\nhello world"},
        {"corrupt gzip", "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
                             std::to_string(corrupt.size()) + "\r\n\r\n" + corrupt},
        {"gzip cut short",
         "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n" + coded.substr(0, coded.size() - 20)},
    };
    for (const Case& c : cases) {
        RawHttpServer server([&](const RecordedRequest&, RawConnection& conn) { conn.Send(c.reply); });
        const auto http = CreateHttp(server.Url(u"/"_s));
        EXPECT_FALSE(http->Get()) << c.name;
        EXPECT_TRUE(HttpFetch(server.Url(u"/"_s), QString()).isEmpty()) << c.name;
    }
}

TEST_F(ReplyTest, TextBodyCapHoldsOnThePlainSize)
{
    const std::string atCap(HttpTextBodyCap, 'a');
    const std::string overCap = atCap + "a";
    const std::string bomb = Gzip(overCap); // a few dozen KiB that inflate past the cap
    ASSERT_LT(bomb.size(), 1u << 20);
    struct Case
    {
        const char* name;
        std::string reply;
        bool success;
    };
    const std::vector<Case> cases = {
        {"exactly the cap",
         "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(atCap.size()) + "\r\n\r\n" + atCap, true},
        {"one byte over",
         "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(overCap.size()) + "\r\n\r\n" + overCap,
         false},
        {"gzip inflating past it",
         "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunked({bomb}),
         false},
    };
    for (const Case& c : cases) {
        RawHttpServer server([&](const RecordedRequest&, RawConnection& conn) { conn.Send(c.reply); });
        const auto http = CreateHttp(server.Url(u"/"_s));
        EXPECT_EQ(http->Get(), c.success) << c.name;
        EXPECT_LE(http->ResponseBytes().size(), HttpTextBodyCap) << c.name;
    }
}

class GetToFileTest : public HttpTest
{
protected:
    QTemporaryDir dir;
    std::string body = std::string(3 * 8192 + 5, 'j');
    RawHttpServer server{[this](const RecordedRequest& r, RawConnection& c) {
        if (r.target == "/big")
            c.Reply(200, {}, std::string(HttpFileBodyCap + 1, 'b'));
        else if (r.target == "/missing")
            c.Reply(404, {}, "no such image");
        else
            c.Reply(200, {"Content-Type: image/jpeg"}, body);
    }};

    static QByteArray Read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(GetToFileTest, CreatesFoldersAndReplacesTheFile)
{
    const QString path = dir.filePath(u"a/b/captcha.jpg"_s);
    QDir().mkpath(dir.filePath(u"a/b"_s));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(std::string(100000, 'o').c_str());
    }
    const auto http = CreateHttp(server.Url(u"/captcha.php"_s));
    ASSERT_TRUE(http->GetToFile(path));
    EXPECT_EQ(Read(path).toStdString(), body);
    EXPECT_TRUE(http->ResponseText().isEmpty());
    EXPECT_TRUE(http->ResponseBytes().isEmpty());

    const QString deeper = dir.filePath(u"new/folder/c.jpg"_s);
    ASSERT_TRUE(CreateHttp(server.Url(u"/"_s))->GetToFile(deeper));
    EXPECT_EQ(Read(deeper).toStdString(), body);
}

TEST_F(GetToFileTest, FailuresReportFalse)
{
    EXPECT_FALSE(CreateHttp(server.Url(u"/"_s))->GetToFile(u"captcha.jpg"_s));
    EXPECT_FALSE(QFile::exists(u"captcha.jpg"_s));

    const QString missing = dir.filePath(u"m.jpg"_s);
    EXPECT_FALSE(CreateHttp(server.Url(u"/missing"_s))->GetToFile(missing));
    EXPECT_EQ(Read(missing), "no such image"); // what arrived stays in the file

    const QString big = dir.filePath(u"big.jpg"_s);
    EXPECT_FALSE(CreateHttp(server.Url(u"/big"_s))->GetToFile(big));
    EXPECT_LE(QFileInfo(big).size(), HttpFileBodyCap);

    // a folder where the file should go cannot be replaced
    const QString blocked = dir.filePath(u"blocked"_s);
    QDir().mkpath(blocked + u"/inside"_s);
    EXPECT_FALSE(CreateHttp(server.Url(u"/"_s))->GetToFile(blocked));
}

TEST_F(GetToFileTest, OneClientSwitchesBetweenFileAndText)
{
    const auto http = CreateHttp(server.Url(u"/"_s));
    ASSERT_TRUE(http->Get());
    EXPECT_EQ(http->ResponseBytes().size(), static_cast<qsizetype>(body.size()));
    ASSERT_TRUE(http->GetToFile(dir.filePath(u"x.jpg"_s)));
    EXPECT_TRUE(http->ResponseText().isEmpty());
    ASSERT_TRUE(http->Get());
    EXPECT_EQ(http->ResponseBytes().toStdString(), body);
}

} // namespace
