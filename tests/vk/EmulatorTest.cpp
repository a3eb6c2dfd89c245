// What other tests rely on in the emulator itself: the record, the scripted stall, the update
// server and the analytics collector.
#include <QElapsedTimer>
#include <QJsonArray>
#include <QTcpSocket>

#include "VkFixture.h"
#include "net/AsyncHttp.h"

using namespace Qt::StringLiterals;

TEST_F(VkFixture, RecordKeepsHeaderOrderAndBodyBytes)
{
    QTcpSocket socket;
    socket.connectToHost(u"127.0.0.1"_s, quint16(emu->Port()));
    ASSERT_TRUE(socket.waitForConnected(5000));
    const QByteArray body = "a=\xe9\xff&b=%41";
    socket.write("POST /x?y=1 HTTP/1.1\r\nHost: " QUILLBOX_UPDATE_HOST
                 ":80\r\nZeta: 1\r\nalpha:  two words \r\n"
                 "Content-Length: " +
                 QByteArray::number(body.size()) + "\r\n\r\n" + body);
    ASSERT_TRUE(socket.waitForBytesWritten(5000));
    while (socket.waitForReadyRead(5000)) {
    }
    EXPECT_TRUE(socket.readAll().startsWith("HTTP/1.1 404"));

    const QList<VkEmuRequest> r = Requests();
    ASSERT_EQ(r.size(), 1);
    EXPECT_EQ(r[0].method, u"POST");
    EXPECT_EQ(r[0].host, u"" QUILLBOX_UPDATE_HOST);
    EXPECT_EQ(r[0].path, u"/x?y=1");
    EXPECT_EQ(r[0].version, u"HTTP/1.1");
    EXPECT_EQ(r[0].HeaderNames(), QStringList({u"Host"_s, u"Zeta"_s, u"alpha"_s, u"Content-Length"_s}));
    EXPECT_EQ(r[0].Header(u"ALPHA"), u"two words");
    EXPECT_EQ(r[0].body, body);
}

TEST_F(VkFixture, StallHoldsOnlyTheRequestsItCovers)
{
    emu->Script({{u"rules"_s, QJsonArray{QJsonObject{{u"path"_s, u"/quillbox.ver"_s},
                                                     {u"action"_s, u"stall"_s},
                                                     {u"seconds"_s, 5},
                                                     {u"times"_s, 1}}}}});
    const QString url = u"http://" QUILLBOX_UPDATE_HOST "/quillbox.ver"_s;
    {
        const auto http = CreateHttp(url);
        http->Timeout = 1;
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(http->Get());
        EXPECT_GE(timer.elapsed(), 900);
        EXPECT_LT(timer.elapsed(), 4500);
    }
    EXPECT_EQ(HttpFetch(url, QString()), u"3.01");
    EXPECT_EQ(Requests().size(), 2);
}

TEST_F(VkFixture, VersionFileAndUsageHit)
{
    emu->Script({{u"version_file"_s, u"3.02\r\nИсправлены ошибки\r\n"_s}});
    EXPECT_EQ(HttpFetch(u"http://" QUILLBOX_UPDATE_HOST "/quillbox.ver"_s, QString()),
              u"3.02\r\nИсправлены ошибки\r\n");

    const auto http = CreateHttp(u"http://" QUILLBOX_GA_HOST "/__utm.gif?utmwv=4.6.5"_s);
    ASSERT_TRUE(http->Get());
    EXPECT_TRUE(http->ResponseBytes().startsWith("GIF89a"));
    EXPECT_EQ(http->ContentType(), u"image/gif");
    const QList<VkEmuRequest> r = emu->Requests(u"" QUILLBOX_GA_HOST ""_s, u"/__utm.gif"_s);
    ASSERT_EQ(r.size(), 1);
    EXPECT_EQ(r[0].path, u"/__utm.gif?utmwv=4.6.5");
}
