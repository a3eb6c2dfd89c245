#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include "UpdateFixture.h"
#include "UpdateTestServer.h"
#include "net/CookieJar.h"
#include "net/AsyncHttp.h"
#include "tests/testsupport/VkEmu.h"
#include "update/formUpdate.h"

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

bool SpinUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

bool SleepUntil(const std::atomic<bool>& flag, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!flag) {
        if (clock.elapsed() > timeoutMs)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

struct NoticeSeen
{
    bool shown = false;
    QString headline;
    QString notes;
    size_t hitsWhenShown = 0;
    QWidget* owner = nullptr;
};

// Answers the notice from a timer, as a user would, once it is the active modal window.
class NoticeWatcher
{
public:
    NoticeWatcher(QWidget* context, std::function<size_t()> hits, std::function<void(TfrmUpdate*)> act)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, context, [this, hits, act] {
            auto* notice = qobject_cast<TfrmUpdate*>(QApplication::activeModalWidget());
            if (!notice || seen.shown)
                return;
            seen.shown = true;
            seen.headline = notice->findChild<QLabel*>(u"Label1"_s)->text();
            seen.notes = notice->findChild<QPlainTextEdit*>(u"Memo1"_s)->toPlainText();
            seen.hitsWhenShown = hits();
            seen.owner = notice->parentWidget();
            act(notice);
        });
        m_timer.start();
    }

    NoticeSeen seen;

private:
    QTimer m_timer;
};

std::function<size_t()> HitsOf(const UpdateTestServer& server)
{
    return [&server] { return server.Requests("/__utm.gif").size(); };
}

void RemindLater(TfrmUpdate* notice)
{
    notice->findChild<QPushButton*>(u"AdvGlowButton1"_s)->click();
}

} // namespace

class CheckNewVersionTest : public UpdateFixture
{
};

TEST_F(CheckNewVersionTest, VersionFileDecidesTheNoticeAndTheLoadEventFollows)
{
    struct Case
    {
        const char* name;
        std::string body;
        int status = 200;
        std::string contentType = "text/plain";
        bool noServer = false;
        bool shown = false;
        QString headline = {};
        QString notes = {};
    };
    const QString prefix = u"Доступна новая версия Quillbox "_s;
    const Case cases[] = {
        {"same version", "3.01"},
        {"same version with blanks and CR LF", " \t3.01  \r\nnotes"},
        {"same version ending in a lone CR", "3.01\r"},
        {"same version between control characters", "\x01 3.01\x1f\n"},
        {"older version", "3.00\r\nИсправлена ошибка", 200, "text/plain; charset=utf-8", false, true,
         prefix + u"3.00!"_s, u"Исправлена ошибка"_s},
        {"newer version alone", "3.02", 200, "text/plain", false, true, prefix + u"3.02!"_s, u""_s},
        {"empty first line", "\r\n3.02\r\n", 200, "text/plain", false, true, prefix + u"!"_s, u"3.02"_s},
        {"single line break", "\n", 200, "text/plain", false, true, prefix + u"!"_s, u""_s},
        {"mixed line ends, blank note kept", "  3.02 \nfirst\r\n\r\nthird\rfourth", 200, "text/plain", false,
         true, prefix + u"3.02!"_s, u"first\n\nthird\nfourth"_s},
        {"8-bit notes", "3.02\r\n\xcd\xee\xe2\xee\xe5", 200, "text/plain", false, true, prefix + u"3.02!"_s,
         u"Новое"_s},
        {"empty reply", ""},
        {"error reply", "3.02", 404},
        {"no server", "3.02", 200, "text/plain", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpdateTestServer server;
        server.SetVersionReply(c.status, c.body, c.contentType);
        if (c.noServer) {
            HttpClearHostMappings();
            HttpSetHostMapping(u"" QUILLBOX_UPDATE_HOST ""_s, 80, ClosedPort());
            HttpSetHostMapping(u"" QUILLBOX_GA_HOST ""_s, 80, server.Port());
        }
        QWidget mainWindow;
        mainWindow.show();
        NoticeWatcher watcher(&mainWindow, HitsOf(server), RemindLater);

        TCheckNewVersion::Start(&mainWindow, [] {});
        ASSERT_TRUE(SpinUntil([&] { return !server.Requests("/__utm.gif").empty(); }, 15000))
            << "the Load event never arrived";
        ASSERT_TRUE(TCheckNewVersion::WaitForStop(2000));

        EXPECT_EQ(watcher.seen.shown, c.shown);
        if (c.shown) {
            EXPECT_EQ(watcher.seen.headline, c.headline);
            EXPECT_EQ(watcher.seen.notes, c.notes);
            EXPECT_EQ(watcher.seen.hitsWhenShown, 0u) << "the Load event goes out after the notice closes";
            EXPECT_EQ(watcher.seen.owner, &mainWindow);
            const auto notices = mainWindow.findChildren<TfrmUpdate*>();
            ASSERT_EQ(notices.size(), 1) << "the closed notice stays with the main window";
            EXPECT_FALSE(notices[0]->isVisible());
        }
        const auto hits = server.Requests("/__utm.gif");
        ASSERT_EQ(hits.size(), 1u);
        EXPECT_NE(hits[0].target.find("&utme=5(Load*Quillbox*3.01)&utmhid="), std::string::npos)
            << hits[0].target;
        EXPECT_EQ(server.Requests("/quillbox.ver").size(), c.noServer ? 0u : 1u);
    }
}

TEST_F(CheckNewVersionTest, DownloadOpensTheFileAndClosesTheMainWindowFromInsideTheHandOver)
{
    UpdateTestServer server;
    server.SetVersionReply(200, "3.02\r\nnotes");
    std::vector<QString> opened;
    SetUrlOpener([&opened](const QUrl& url) { opened.push_back(url.toString()); });

    bool closed = false;
    bool noticeOpenWhenClosed = false;
    std::vector<QString> openedWhenClosed;
    auto closeMainWindow = [&] {
        closed = true;
        noticeOpenWhenClosed = qobject_cast<TfrmUpdate*>(QApplication::activeModalWidget()) != nullptr;
        openedWhenClosed = opened;
        TCheckNewVersion::RequestStop(); // what the main window does as it closes
    };
    QWidget mainWindow;
    mainWindow.show();
    NoticeWatcher watcher(&mainWindow, HitsOf(server), [](TfrmUpdate* notice) {
        notice->findChild<QPushButton*>(u"btnResumeDownload"_s)->click();
    });

    TCheckNewVersion::Start(&mainWindow, closeMainWindow);
    ASSERT_TRUE(SpinUntil([&] { return closed && !QApplication::activeModalWidget(); }, 15000));
    ASSERT_TRUE(TCheckNewVersion::WaitForStop(2000));

    EXPECT_TRUE(noticeOpenWhenClosed) << "the worker was still waiting in its hand-over";
    EXPECT_EQ(openedWhenClosed,
              std::vector<QString>{u"http://" QUILLBOX_UPDATE_HOST "/files/Quillbox.exe"_s});
    EXPECT_EQ(opened, openedWhenClosed);
    EXPECT_TRUE(server.Requests("/__utm.gif").empty()) << "a stopping check sends no hit";
}

TEST_F(CheckNewVersionTest, PendingHandOverIsDroppedAfterTheLoopHasEnded)
{
    UpdateTestServer server;
    server.SetVersionReply(200, "3.02");
    std::atomic<bool> handingOver = false;
    TCheckNewVersion::SetHandOverHook([&handingOver] { handingOver = true; });
    QWidget mainWindow;
    NoticeWatcher watcher(&mainWindow, HitsOf(server), RemindLater); // a wrongly opened notice gets closed

    TCheckNewVersion::Start(&mainWindow, [] {});
    // No event processing from here on, as after the message loop has returned.
    ASSERT_TRUE(SleepUntil(handingOver, 15000));
    TCheckNewVersion::RequestStop();
    EXPECT_TRUE(TCheckNewVersion::WaitForStop(2000));
    EXPECT_FALSE(watcher.seen.shown) << "nothing opens once stopping";
    EXPECT_TRUE(mainWindow.findChildren<TfrmUpdate*>().empty());
    EXPECT_TRUE(server.Requests("/__utm.gif").empty());
}

TEST_F(CheckNewVersionTest, MainWindowGoneBeforeTheHandOverShowsNothing)
{
    UpdateTestServer server;
    server.SetVersionReply(200, "3.02");
    std::atomic<bool> handingOver = false;
    TCheckNewVersion::SetHandOverHook([&handingOver] { handingOver = true; });
    auto mainWindow = std::make_unique<QWidget>();

    TCheckNewVersion::Start(mainWindow.get(), [] {});
    ASSERT_TRUE(SleepUntil(handingOver, 15000));
    mainWindow.reset();
    ASSERT_TRUE(SpinUntil([&] { return !server.Requests("/__utm.gif").empty(); }, 15000));
    ASSERT_TRUE(TCheckNewVersion::WaitForStop(2000));
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TfrmUpdate*>(w), nullptr);
}

TEST_F(CheckNewVersionTest, AgainstTheEmulatorTheNoticeShowsAndOneBareHitFollows)
{
    QJsonObject config = VkEmu::DefaultConfig();
    config.insert(u"version_file"_s, u"3.02\r\nЧто нового"_s);
    VkEmu emu(config);
    ASSERT_TRUE(emu.Started()) << emu.Error().toStdString();
    const QString gaHost = u"" QUILLBOX_GA_HOST ""_s;
    CookieJar->SetCookie(CookieDomainOf(gaHost), u"old=1"_s);
    auto hits = [&emu, &gaHost] { return size_t(emu.Requests(gaHost, u"/__utm.gif"_s).size()); };
    QWidget mainWindow;
    mainWindow.show();
    NoticeWatcher watcher(&mainWindow, hits, RemindLater);

    TCheckNewVersion::Start(&mainWindow, [] {});
    ASSERT_TRUE(SpinUntil([&] { return hits() > 0; }, 15000));
    ASSERT_TRUE(TCheckNewVersion::WaitForStop(2000));

    EXPECT_TRUE(watcher.seen.shown);
    EXPECT_EQ(watcher.seen.headline, u"Доступна новая версия Quillbox 3.02!"_s);
    EXPECT_EQ(watcher.seen.notes, u"Что нового"_s);
    EXPECT_EQ(watcher.seen.hitsWhenShown, 0u);
    const auto versions = emu.Requests(u"" QUILLBOX_UPDATE_HOST ""_s, u"/quillbox.ver"_s);
    ASSERT_EQ(versions.size(), 1);
    EXPECT_EQ(versions[0].method, u"GET"_s);
    const auto sent = emu.Requests(gaHost, u"/__utm.gif"_s);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].version, u"HTTP/1.0"_s);
    QStringList names;
    for (const QString& name : sent[0].HeaderNames())
        names.append(name.toLower());
    names.sort();
    EXPECT_EQ(names, (QStringList{u"accept"_s, u"accept-encoding"_s, u"accept-language"_s, u"connection"_s,
                                  u"host"_s, u"referer"_s, u"user-agent"_s}));
    EXPECT_FALSE(sent[0].HasHeader(u"Cookie"));
    EXPECT_TRUE(sent[0].path.contains(u"&utme=5(Load*Quillbox*3.01)&utmhid="_s))
        << sent[0].path.toStdString();
}

class CheckNewVersionDeathTest : public UpdateFixture
{
};

// Aborting transfers is for the whole process and cannot be undone, so this runs in a child.
TEST_F(CheckNewVersionDeathTest, StopWhileTheVersionRequestStallsEndsAtOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            UpdateTestServer server;
            server.SetVersionReply(200, "3.02");
            server.SetVersionStall(true);
            QWidget mainWindow;
            TCheckNewVersion::Start(&mainWindow, [] {});
            if (!server.WaitForRequests("/quillbox.ver", 1, 15000)) {
                std::fprintf(stderr, "the version file was never requested\n");
                std::_Exit(2);
            }
            TCheckNewVersion::RequestStop();
            HttpAbortAll();
            QElapsedTimer clock;
            clock.start();
            const bool stopped = TCheckNewVersion::WaitForStop(2000);
            const bool noHit = server.Requests("/__utm.gif").empty();
            const bool noNotice = mainWindow.findChildren<TfrmUpdate*>().empty();
            std::fprintf(stderr, "stopped %d after %lld ms, no hit %d, no notice %d\n", stopped,
                         static_cast<long long>(clock.elapsed()), noHit, noNotice);
            std::_Exit(stopped && noHit && noNotice ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
