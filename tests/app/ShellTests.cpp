// The real program as a child process: start-up, one instance per user, the hand-over, and the
// orderly end on signals.
#include <csignal>

#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "DirWatch.h"
#include "app/InstanceGuard.h"
#include "app/Main.h"
#include "app/Quillbox.h"

using namespace Qt::StringLiterals;

namespace {

// A user of our own: data and runtime folders in a temporary place.
class UserSession
{
public:
    UserSession()
    {
        QDir().mkpath(RunFolder());
        QFile::setPermissions(RunFolder(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QString DataHome() const { return m_dir.filePath(u"data"_s); }
    QString DataFolder() const { return DataHome() + u"/Quillbox/"_s; }
    QString RunFolder() const { return m_dir.filePath(u"run"_s); }
    QString Socket() const { return RunFolder() + u"/Quillbox"_s; }
    QString Lock() const { return RunFolder() + u"/Quillbox.lock"_s; }

    void Start(QProcess& p, const QString& dataHome = QString()) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"XDG_DATA_HOME"_s, dataHome.isEmpty() ? DataHome() : dataHome);
        env.insert(u"XDG_RUNTIME_DIR"_s, RunFolder());
        p.setProcessEnvironment(env);
        p.setProgram(QStringLiteral(QUILLBOX_APP_BINARY));
        p.start();
    }
    // The holder listens once its lock is taken and its windows exist.
    bool WaitForHolder(int timeoutMs = 15000) const
    {
        return WaitFor([&] { return QFileInfo(Socket()).exists(); }, timeoutMs);
    }

private:
    QTemporaryDir m_dir;
};

bool Finished(QProcess& p, int timeoutMs = 20000)
{
    // Keeps this process's own event loop going: it may be the one answering the child.
    return WaitFor([&] { return p.state() == QProcess::NotRunning; }, timeoutMs);
}

QStringList Files(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

TEST(Shell, SignalsEndTheProgramInOrder)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        UserSession user;
        QDir().mkpath(user.DataFolder());
        DirWatch watch;
        ASSERT_TRUE(watch.Watch(user.DataFolder()));
        ASSERT_TRUE(watch.Watch(user.RunFolder()));
        QProcess program;
        user.Start(program);
        ASSERT_TRUE(user.WaitForHolder()) << program.readAllStandardError().toStdString();
        EXPECT_TRUE(QFileInfo::exists(user.Lock()));
        // Nothing is written while the program runs.
        EXPECT_TRUE(Files(user.DataFolder()).isEmpty());

        ::kill(pid_t(program.processId()), signal);
        ASSERT_TRUE(Finished(program)) << signal;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(program.exitCode(), 0) << signal << program.readAllStandardError().toStdString();

        const QStringList events = watch.Events();
        const qsizetype accounts = events.indexOf(u"written acc.lst"_s);
        const qsizetype options = events.indexOf(u"written Options.xml"_s);
        const qsizetype unlocked = events.lastIndexOf(u"removed Quillbox.lock"_s);
        ASSERT_GE(accounts, 0) << events.join(u", "_s).toStdString();
        EXPECT_GT(options, accounts) << events.join(u", "_s).toStdString();
        // The lock goes last: a new instance cannot read acc.lst before it is saved.
        EXPECT_GT(unlocked, options) << events.join(u", "_s).toStdString();
        struct stat info = {};
        ASSERT_EQ(::stat(QFile::encodeName(user.DataFolder() + u"acc.lst"_s).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_FALSE(QFileInfo::exists(user.Socket()));
    }
}

TEST(Shell, SecondInstanceHandsOverAndWritesNothing)
{
    struct
    {
        QString title;
        bool shown;
    } const cases[] = {
        {u"Quillbox 3.01"_s, true}, {u"Quillbox 3.02"_s, false}, // another version's window is left alone
    };
    for (const auto& c : cases) {
        UserSession user;
        AppModules modules;
        modules.Start();
        ShownForm f = MakeForm();
        f.form->setWindowTitle(c.title);
        f.form->setWindowState(Qt::WindowMinimized);
        ASSERT_TRUE(WaitFor([&] { return !f.form->isVisible(); }, 2000));

        TInstanceGuard holder(user.RunFolder());
        ASSERT_EQ(holder.Acquire(), TInstanceGuard::TResult::First);
        QStringList received;
        ASSERT_TRUE(holder.Listen([&](const QString& message) {
            received.append(message);
            ReceiveHandOver(f.form.get(), message);
        }));

        QTemporaryDir secondData;
        QProcess second;
        user.Start(second, secondData.path());
        ASSERT_TRUE(Finished(second));
        EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
        ASSERT_TRUE(WaitFor([&] { return !received.isEmpty(); }, 5000));
        EXPECT_EQ(received, QStringList{u"Quillbox 3.01"_s});
        EXPECT_EQ(f.form->isVisible(), c.shown) << c.title.toStdString();
        EXPECT_EQ(f.form->isMinimized(), !c.shown) << c.title.toStdString();
        EXPECT_TRUE(Files(secondData.path() + u"/Quillbox"_s).isEmpty());
        EXPECT_TRUE(QFileInfo::exists(user.Lock()));
    }
}

TEST(Shell, ALockLeftByAKilledInstanceDoesNotBlock)
{
    UserSession user;
    QProcess killed;
    user.Start(killed);
    ASSERT_TRUE(user.WaitForHolder());
    killed.kill();
    ASSERT_TRUE(Finished(killed));
    ASSERT_TRUE(QFileInfo::exists(user.Lock()));
    // Nobody answers on the dead one's socket.
    {
        QLocalSocket probe;
        probe.connectToServer(user.Socket());
        ASSERT_FALSE(probe.waitForConnected(500));
    }

    QProcess next;
    user.Start(next);
    // The new instance takes the lock over: its own number is in the file.
    ASSERT_TRUE(WaitFor([&] {
        QFile lock(user.Lock());
        return lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed().toLongLong() == next.processId();
    })) << next.readAllStandardError().toStdString();
    // ... and listens on a socket of its own in place of the dead one's.
    ASSERT_TRUE(WaitFor([&] {
        QLocalSocket probe;
        probe.connectToServer(user.Socket());
        return probe.waitForConnected(200);
    }));
    ::kill(pid_t(next.processId()), SIGTERM);
    ASSERT_TRUE(Finished(next));
    EXPECT_EQ(next.exitCode(), 0) << next.readAllStandardError().toStdString();
    // Only a first instance saves.
    EXPECT_TRUE(QFileInfo::exists(user.DataFolder() + u"Options.xml"_s));
}

TEST(Shell, ALockThatCannotBeTakenIsAStartupError)
{
    UserSession user;
    // Not a lock of a running instance: no process owns it.
    ASSERT_TRUE(QDir().mkpath(user.Lock()));
    QProcess program;
    user.Start(program);
    ASSERT_TRUE(Finished(program));
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(program.readAllStandardError()).contains(user.Lock()));
    EXPECT_TRUE(Files(user.DataFolder()).isEmpty());
}

TEST(Shell, FilesThatCannotBeWrittenStayAndTheProgramStillEnds)
{
    UserSession user;
    // Folders where the files belong: neither can be replaced, and neither may be lost.
    ASSERT_TRUE(QDir().mkpath(user.DataFolder() + u"acc.lst"_s));
    ASSERT_TRUE(QDir().mkpath(user.DataFolder() + u"Options.xml"_s));
    QProcess program;
    user.Start(program);
    ASSERT_TRUE(user.WaitForHolder()) << program.readAllStandardError().toStdString();
    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(Finished(program));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    // A failed save is not reported as success.
    EXPECT_EQ(program.exitCode(), 1);
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(errors.contains(u"acc.lst"_s)) << errors.toStdString();
    EXPECT_TRUE(errors.contains(u"Options.xml"_s)) << errors.toStdString();
    EXPECT_TRUE(QFileInfo(user.DataFolder() + u"acc.lst"_s).isDir());
    EXPECT_TRUE(QFileInfo(user.DataFolder() + u"Options.xml"_s).isDir());
    EXPECT_FALSE(QFileInfo::exists(user.Lock()));
}
