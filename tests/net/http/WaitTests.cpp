// The wait: the event loop keeps running during a request, modal dialogs included; the time-out
// counts silence only; aborts and the application's exit end a waiting request at once.
#include <chrono>
#include <thread>

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/net/http/HttpTestUtil.h"
#include "net/AsyncHttp.h"
#include "tests/testsupport/LocalHttpServer.h"

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class WaitTest : public HttpTest
{
protected:
    // "/stall" says nothing for 10 s; "/slow/N" answers after N ms; "/drip" sends one byte every
    // 400 ms for 2 s; anything else answers at once.
    RawHttpServer server{[](const RecordedRequest& r, RawConnection& c) {
        if (r.target == "/stall") {
            c.Stall(10s);
        } else if (r.target.rfind("/slow/", 0) == 0) {
            if (c.Stall(std::chrono::milliseconds(std::stoi(r.target.substr(6)))))
                c.Reply(200, {}, "slow");
        } else if (r.target == "/drip") {
            c.Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n");
            for (int i = 0; i < 5 && c.Stall(400ms); ++i)
                c.Send("d");
        } else {
            c.Reply(200, {}, "fast");
        }
    }};

    // Opens a modal dialog after openMs that closes itself closeMs after it opened (precise timers:
    // coarse ones may fire 5% early).
    void OpenDialogDuringRequest(int openMs, int closeMs, Clock::time_point& closedAt, bool& wasOpen)
    {
        QTimer::singleShot(openMs, Qt::PreciseTimer, qApp, [=, &closedAt, &wasOpen] {
            QDialog dialog;
            QTimer::singleShot(closeMs, Qt::PreciseTimer, &dialog, [&] {
                wasOpen = dialog.isVisible();
                closedAt = Clock::now();
                dialog.reject();
            });
            dialog.exec();
        });
    }
};

TEST_F(WaitTest, SilenceForTimeoutSecondsFailsTheExchange)
{
    const auto http = CreateHttp(server.Url(u"/stall"_s));
    http->Timeout = 1;
    const auto start = Clock::now();
    EXPECT_FALSE(http->Get());
    const long elapsed = MsSince(start);
    EXPECT_GE(elapsed, 990);
    EXPECT_LT(elapsed, 3000); // not the 10 s of the stall
}

TEST_F(WaitTest, SilenceOnAWorkerThreadFailsTheSameWay)
{
    bool ok = true;
    long elapsed = 0;
    std::thread worker([&] {
        const auto http = CreateHttp(server.Url(u"/stall"_s));
        http->Timeout = 1;
        const auto start = Clock::now();
        ok = http->Get();
        elapsed = MsSince(start);
    });
    worker.join();
    EXPECT_FALSE(ok);
    EXPECT_GE(elapsed, 990);
    EXPECT_LT(elapsed, 3000);
}

TEST_F(WaitTest, TrafficKeepsASlowExchangeAlive)
{
    // two seconds in all, but never a second of silence
    const auto http = CreateHttp(server.Url(u"/drip"_s));
    http->Timeout = 1;
    ASSERT_TRUE(http->Get());
    EXPECT_EQ(http->ResponseText(), u"ddddd"_s);
    std::thread worker([&] {
        const auto other = CreateHttp(server.Url(u"/drip"_s));
        other->Timeout = 1;
        EXPECT_TRUE(other->Get());
    });
    worker.join();
}

TEST_F(WaitTest, SilenceWhileConnectingCounts)
{
    // A listener whose queue is full leaves further connection attempts unanswered.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 0), 0);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        const int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(f, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        fillers.push_back(f);
    }
    std::this_thread::sleep_for(100ms);
    const auto http = CreateHttp(u"http://127.0.0.1:%1/"_s.arg(ntohs(addr.sin_port)));
    http->Timeout = 1;
    const auto start = Clock::now();
    EXPECT_FALSE(http->Get());
    const long elapsed = MsSince(start);
    EXPECT_GE(elapsed, 990);
    EXPECT_LT(elapsed, 3000);
    for (int f : fillers)
        ::close(f);
    ::close(fd);
}

TEST_F(WaitTest, TimersRunDuringARequest)
{
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &timer, [&] { ++ticks; });
    timer.start(10);
    ASSERT_TRUE(CreateHttp(server.Url(u"/slow/500"_s))->Get());
    EXPECT_GE(ticks, 20);
}

TEST_F(WaitTest, RequestCompletesWhileAModalDialogIsOpen)
{
    Clock::time_point closedAt;
    bool wasOpen = false;
    OpenDialogDuringRequest(50, 1500, closedAt, wasOpen);
    const auto http = CreateHttp(server.Url(u"/slow/300"_s));
    ASSERT_TRUE(http->Get());
    EXPECT_EQ(http->ResponseText(), u"slow"_s);
    EXPECT_TRUE(wasOpen);
    ASSERT_EQ(server.Requests().size(), 1u);
    // the client had read the reply and closed the connection before the dialog went away
    EXPECT_LT(server.Requests()[0].closedAt, closedAt);
}

TEST_F(WaitTest, DialogOpenLongerThanTheTimeoutDoesNotFailAnAnsweredRequest)
{
    Clock::time_point closedAt;
    bool wasOpen = false;
    OpenDialogDuringRequest(1, 2500, closedAt, wasOpen);
    const auto http = CreateHttp(server.Url(u"/slow/100"_s));
    http->Timeout = 1;
    const auto start = Clock::now();
    ASSERT_TRUE(http->Get());
    EXPECT_TRUE(wasOpen);
    EXPECT_GE(MsSince(start), 2500);
    EXPECT_EQ(http->ResponseText(), u"slow"_s);
}

TEST_F(WaitTest, ARequestInsideAnotherRequestsWait)
{
    bool innerOk = false;
    Clock::time_point innerDone;
    QTimer::singleShot(50, qApp, [&] {
        innerOk = CreateHttp(server.Url(u"/slow/100"_s))->Get();
        innerDone = Clock::now();
    });
    const auto outer = CreateHttp(server.Url(u"/slow/600"_s));
    ASSERT_TRUE(outer->Get());
    const auto outerDone = Clock::now();
    EXPECT_TRUE(innerOk);
    EXPECT_LT(innerDone, outerDone);
    EXPECT_EQ(outer->ResponseText(), u"slow"_s);
}

TEST_F(WaitTest, AbortAllEndsAWaitAtOnceAndRefusesLaterRequests)
{
    QTimer::singleShot(200, qApp, [] { HttpAbortAll(); });
    const auto start = Clock::now();
    EXPECT_FALSE(CreateHttp(server.Url(u"/stall"_s))->Get());
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_TRUE(HttpAborting());
    EXPECT_TRUE(HttpFetch(server.Url(u"/"_s), QString()).isEmpty());
    EXPECT_EQ(server.Requests().size(), 1u); // the refused request never went out
    HttpResetAbort();
    EXPECT_EQ(HttpFetch(server.Url(u"/"_s), QString()), u"fast"_s);
}

TEST_F(WaitTest, AbortAllEndsAWorkerThreadsWait)
{
    bool ok = true;
    long elapsed = 0;
    std::thread worker([&] {
        const auto start = Clock::now();
        ok = CreateHttp(server.Url(u"/stall"_s))->Get();
        elapsed = MsSince(start);
    });
    std::this_thread::sleep_for(300ms);
    HttpAbortAll();
    worker.join();
    EXPECT_FALSE(ok);
    EXPECT_LT(elapsed, 1000);
}

TEST_F(WaitTest, ApplicationExitEndsAWaitingRequest)
{
    bool laterOk = true;
    QTimer::singleShot(200, qApp, [&] {
        QCoreApplication::exit(0);
        // after exit every new local loop returns at once: the request must not pass for done
        laterOk = CreateHttp(server.Url(u"/slow/50"_s))->Get();
    });
    const auto start = Clock::now();
    EXPECT_FALSE(CreateHttp(server.Url(u"/stall"_s))->Get());
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_FALSE(laterOk);

    // let the exit finish the way the program's main loop would, so later tests get working loops
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    EXPECT_EQ(HttpFetch(server.Url(u"/"_s), QString()), u"fast"_s);
}

} // namespace
