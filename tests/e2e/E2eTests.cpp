// The real quillbox binary as a user's machine runs it: an X session with a window manager
// (scripts/xsession.sh), VK played by the emulator on port 80 of the loopback interface of a
// private network namespace whose hosts file sends the fixed host names there
// (scripts/netns-run.sh). Everything is observed from outside: X properties, the emulator's
// record, the files in the data folder.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include "AccList.h"
#include "DirEvents.h"
#include "Harness.h"
#include "XTools.h"

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString kTitle = u"Quillbox 3.01"_s;
// The emulator's demo account (tools/vkemu/demo.json).
const QString kLogin = u"demo@quillbox.example"_s;
const QString kPassword = u"demo"_s;
const QString kDisplayName = u"Дмитрий Демидов"_s;

QString ArtifactPath(const QString& name)
{
    QDir().mkpath(QStringLiteral(E2E_ARTIFACTS));
    return QDir(QStringLiteral(E2E_ARTIFACTS)).filePath(name);
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

qsizetype IndexOf(const QList<VkEmuRequest>& requests, const std::function<bool(const VkEmuRequest&)>& match)
{
    for (qsizetype i = 0; i < requests.size(); ++i) {
        if (match(requests[i]))
            return i;
    }
    return -1;
}

qsizetype Count(const QList<VkEmuRequest>& requests, const QString& host, const QString& path)
{
    qsizetype n = 0;
    for (const VkEmuRequest& r : requests)
        n += r.host == host && r.PathOnly() == path;
    return n;
}

bool IsApiCall(const VkEmuRequest& r, const char* method)
{
    return r.host == QStringLiteral(QUILLBOX_VK_API_HOST) && r.PathOnly() == u"/api.php"_s &&
           r.body.contains(QByteArray("method=") + method);
}

qsizetype LandsAt(const QList<DirEvents::Event>& events, const QString& name)
{
    for (qsizetype i = 0; i < events.size(); ++i) {
        if (events[i].name == name && events[i].Lands())
            return i;
    }
    return -1;
}

struct Geometry
{
    int width = 0, height = 0;
};

Geometry WindowSize(XTools::WindowId w)
{
    const auto out = XTools::Run(u"xwininfo"_s, {u"-id"_s, QString::number(w)});
    Geometry g;
    if (out) {
        g.width = QRegularExpression(u"Width:\\s*(\\d+)"_s).match(*out).captured(1).toInt();
        g.height = QRegularExpression(u"Height:\\s*(\\d+)"_s).match(*out).captured(1).toInt();
    }
    return g;
}

bool Click(XTools::WindowId w, int x, int y)
{
    return XTools::Run(u"xdotool"_s, {u"mousemove"_s, u"--window"_s, QString::number(w), QString::number(x),
                                      QString::number(y), u"click"_s, u"1"_s})
        .has_value();
}

class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "run through scripts/xsession.sh";
        emu = std::make_unique<Port80Emulator>(QDir(home.Root()).filePath(u"vkemu.log"_s));
        ASSERT_TRUE(emu->Started()) << qPrintable(emu->Error());
    }

    // Starts the program and waits for its main window to be mapped and active.
    XTools::WindowId StartAndWaitForWindow(QuillboxProcess& q)
    {
        EXPECT_TRUE(q.Start());
        std::optional<XTools::WindowId> w;
        const bool shown = WaitUntil(
            [&] {
                w = XTools::FindWindow(kTitle);
                return w && XTools::MapState(*w) == u"IsViewable"_s && XTools::ActiveWindow() == w;
            },
            20s);
        EXPECT_TRUE(shown) << "no active window titled " << qPrintable(kTitle)
                           << "; program errors: " << qPrintable(q.ErrorOutput());
        return w.value_or(0);
    }

    Home home;
    std::unique_ptr<Port80Emulator> emu;
};

TEST_F(EndToEnd, SavedAccountSignsInSendsHandsOverAndSavesInOrder)
{
    ASSERT_EQ(WriteAccList(home.DataFolder(), {{kDisplayName, kLogin, kPassword}}), QString());
    const QString accPath = QDir(home.DataFolder()).filePath(u"acc.lst"_s);
    const QString optionsPath = QDir(home.DataFolder()).filePath(u"Options.xml"_s);
    const QByteArray accBefore = ReadAll(accPath);
    ASSERT_FALSE(QFile::exists(optionsPath));
    DirEvents files(home.DataFolder());
    ASSERT_TRUE(files.Ok());

    QuillboxProcess first(home, u"first"_s);
    const XTools::WindowId w = StartAndWaitForWindow(first);
    ASSERT_NE(w, 0u);
    // The desktop entry's StartupWMClass matches windows by this class.
    EXPECT_EQ(XTools::WmClass(w), (QStringList{u"quillbox"_s, u"Quillbox"_s}));

    // The first activation signs in with the saved account and fetches its status.
    ASSERT_TRUE(WaitUntil(
        [&] { return IndexOf(emu->Requests(), [](auto& r) { return IsApiCall(r, "activity.get"); }) >= 0; },
        20s))
        << "no activity.get reached the emulator; program errors: " << qPrintable(first.ErrorOutput());
    {
        const QList<VkEmuRequest> rq = emu->Requests();
        const qsizetype login =
            IndexOf(rq, [](auto& r) { return r.host == QStringLiteral(QUILLBOX_VK_LOGIN_HOST); });
        const qsizetype get = IndexOf(rq, [](auto& r) { return IsApiCall(r, "activity.get"); });
        EXPECT_GE(login, 0) << "the sign-in never posted the login form";
        EXPECT_LT(login, get);
        EXPECT_TRUE(rq[get].body.contains("&sid=") && rq[get].body.contains("&sig="))
            << rq[get].body.constData();
    }

    // Every start asks for the version file and then sends one usage hit.
    ASSERT_TRUE(WaitUntil(
        [&] { return Count(emu->Requests(), QStringLiteral(QUILLBOX_GA_HOST), u"/__utm.gif"_s) > 0; }, 15s))
        << "no usage hit arrived";
    {
        const QList<VkEmuRequest> rq = emu->Requests();
        const qsizetype ver = IndexOf(rq, [](auto& r) {
            return r.method == u"GET"_s && r.host == QStringLiteral(QUILLBOX_UPDATE_HOST) &&
                   r.path == u"/quillbox.ver"_s;
        });
        const qsizetype hit = IndexOf(rq, [](auto& r) { return r.host == QStringLiteral(QUILLBOX_GA_HOST); });
        EXPECT_GE(ver, 0) << "the version file was never fetched";
        EXPECT_LT(ver, hit);
        EXPECT_EQ(rq[hit].version, u"HTTP/1.0"_s);
        EXPECT_FALSE(rq[hit].HasHeader(u"Cookie"));
    }

    // What the user sees once signed in: kept as a test artifact.
    QThread::msleep(500);
    const QString shot = ArtifactPath(u"main-window.png"_s);
    QFile::remove(shot);
    ASSERT_TRUE(XTools::Screenshot(w, shot));
    const QImage picture(shot);
    EXPECT_GE(picture.width(), 396);
    EXPECT_GE(picture.height(), 144);

    // A status typed into the editor and sent reaches the emulator, which checks sid and signature.
    const Geometry g = WindowSize(w);
    ASSERT_GT(g.height, 22 + 29 + 18);
    // "&" and "%" must survive the percent-encoding and the signature, which covers the whole
    // status as one item. (xdotool cannot type Cyrillic reliably: it remaps a spare key per
    // character, and the program may read the key before the new mapping.)
    const QString status = u"Sent by Quillbox & 100% e2e"_s;
    ASSERT_TRUE(Click(w, g.width / 2, 22 + (g.height - 22 - 47) / 2));
    ASSERT_TRUE(XTools::Run(u"xdotool"_s, {u"key"_s, u"--clearmodifiers"_s, u"ctrl+a"_s}).has_value());
    ASSERT_TRUE(XTools::Run(u"xdotool"_s, {u"type"_s, u"--delay"_s, u"30"_s, status}).has_value());
    ASSERT_TRUE(Click(w, g.width - 60, g.height - 18 - 15));
    EXPECT_TRUE(WaitUntil([&] { return emu->StatusOf(kLogin) == status; }, 15s))
        << "the emulator holds \"" << qPrintable(emu->StatusOf(kLogin)) << "\"";

    // Without a tray host a minimise is an ordinary one: the window stays on the taskbar.
    ASSERT_TRUE(XTools::Minimise(w));
    EXPECT_TRUE(WaitUntil([&] { return XTools::WmState(w) == u"Iconic"_s; }, 5s))
        << qPrintable(XTools::WmState(w));
    EXPECT_TRUE(XTools::InClientList(w));

    EXPECT_EQ(DirEvents::Describe(files.Take()), u"(none)"_s) << "files were written while the program ran";

    // A second start hands over: the running window comes back in front, nothing is written.
    {
        QuillboxProcess second(home, u"second"_s);
        ASSERT_TRUE(second.Start());
        EXPECT_EQ(second.WaitExit(10s), std::optional<int>(0)) << qPrintable(second.ErrorOutput());
    }
    EXPECT_TRUE(
        WaitUntil([&] { return XTools::WmState(w) == u"Normal"_s && XTools::ActiveWindow() == w; }, 5s))
        << "state " << qPrintable(XTools::WmState(w));
    EXPECT_EQ(XTools::MapState(w), u"IsViewable"_s);
    EXPECT_TRUE(first.Running());
    QThread::msleep(300);
    EXPECT_EQ(DirEvents::Describe(files.Take()), u"(none)"_s) << "the second instance wrote files";

    // SIGTERM ends the program in order: acc.lst first, then Options.xml.
    first.Terminate();
    EXPECT_EQ(first.WaitExit(10s), std::optional<int>(0)) << qPrintable(first.ErrorOutput());
    const QList<DirEvents::Event> saved = files.Take();
    const qsizetype acc = LandsAt(saved, u"acc.lst"_s);
    const qsizetype options = LandsAt(saved, u"Options.xml"_s);
    EXPECT_GE(acc, 0) << qPrintable(DirEvents::Describe(saved));
    EXPECT_GT(options, acc) << qPrintable(DirEvents::Describe(saved));
    EXPECT_EQ(ReadAll(accPath), accBefore);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(accPath).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "acc.lst holds reversible passwords";
    const QByteArray options_xml = ReadAll(optionsPath);
    EXPECT_TRUE(options_xml.startsWith("<?xml")) << options_xml.left(80).constData();
    EXPECT_TRUE(options_xml.contains("<Options") && options_xml.contains("\r\n"));

    // One version check and one usage hit for the whole run; the second start made none.
    const QList<VkEmuRequest> all = emu->Requests();
    EXPECT_EQ(Count(all, QStringLiteral(QUILLBOX_UPDATE_HOST), u"/quillbox.ver"_s), 1);
    EXPECT_EQ(Count(all, QStringLiteral(QUILLBOX_GA_HOST), u"/__utm.gif"_s), 1);
}

TEST_F(EndToEnd, WithATrayMinimiseHidesAndASecondStartBringsTheWindowBack)
{
    QProcess trayer;
    trayer.start(u"trayer"_s,
                 {u"--edge"_s, u"top"_s, u"--align"_s, u"right"_s, u"--widthtype"_s, u"request"_s,
                  u"--height"_s, u"24"_s, u"--SetDockType"_s, u"true"_s, u"--transparent"_s, u"false"_s});
    ASSERT_TRUE(trayer.waitForStarted(5000));
    ASSERT_TRUE(WaitUntil([] { return XTools::FindWindow(u"trayer"_s).has_value(); }, 10s))
        << "trayer did not start";

    QuillboxProcess first(home, u"first"_s);
    const XTools::WindowId w = StartAndWaitForWindow(first);
    ASSERT_NE(w, 0u);
    // Let the tray icon dock before the minimise asks whether a tray exists.
    QThread::msleep(500);

    ASSERT_TRUE(XTools::Minimise(w));
    // Hidden, not minimised: unmapped and gone from the window manager's list (the taskbar).
    EXPECT_TRUE(
        WaitUntil([&] { return XTools::MapState(w) == u"IsUnMapped"_s && !XTools::InClientList(w); }, 5s))
        << "map state " << qPrintable(XTools::MapState(w)) << ", WM_STATE " << qPrintable(XTools::WmState(w));
    QThread::msleep(500);
    EXPECT_EQ(XTools::MapState(w), u"IsUnMapped"_s) << "the hidden window came back by itself";

    {
        QuillboxProcess second(home, u"second"_s);
        ASSERT_TRUE(second.Start());
        EXPECT_EQ(second.WaitExit(10s), std::optional<int>(0)) << qPrintable(second.ErrorOutput());
    }
    std::optional<XTools::WindowId> back;
    EXPECT_TRUE(WaitUntil(
        [&] {
            back = XTools::FindWindow(kTitle);
            return back && XTools::MapState(*back) == u"IsViewable"_s && XTools::ActiveWindow() == back;
        },
        5s))
        << "the window did not come back mapped and active";
    if (back) {
        EXPECT_TRUE(XTools::InClientList(*back));
        EXPECT_EQ(XTools::WmState(*back), u"Normal"_s);
        EXPECT_FALSE(XTools::NetWmState(*back).contains(u"_NET_WM_STATE_HIDDEN"_s))
            << qPrintable(XTools::NetWmState(*back).join(u' '));
    }

    first.Terminate();
    EXPECT_EQ(first.WaitExit(10s), std::optional<int>(0)) << qPrintable(first.ErrorOutput());
    trayer.terminate();
    trayer.waitForFinished(5000);
}

} // namespace
