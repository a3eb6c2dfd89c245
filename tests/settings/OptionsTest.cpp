#include <csignal>
#include <limits>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "ReadOnlyFolder.h"
#include "settings/SaveFile.h"
#include "settings/uOptions.h"
#include "tests/testsupport/TempDataFolder.h"

using namespace Qt::StringLiterals;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(data), data.size());
}

QByteArray MainFormXml(const QByteArray& attributes)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Options>\n  <MainForm " + attributes +
           "/>\n</Options>\n";
}

QByteArray GAXml(const QByteArray& attributes)
{
    return "<Options><GA " + attributes + "/></Options>";
}

void ExpectAllDefaults(const TOptions& o)
{
    EXPECT_EQ(o.Left(), 0);
    EXPECT_EQ(o.Top(), 0);
    EXPECT_EQ(o.Width(), 0);
    EXPECT_EQ(o.Height(), 0);
    EXPECT_FALSE(o.Maximized());
    const TGAValues ga = o.GA();
    EXPECT_EQ(ga.FirstTime, 0);
    EXPECT_EQ(ga.PrevTime, 0);
    EXPECT_EQ(ga.ID, 0);
    EXPECT_EQ(ga.Hash, 0);
    EXPECT_EQ(ga.Count, 0);
}

void FillValues(TOptions& o)
{
    o.SetLeft(-12);
    o.SetTop(34);
    o.SetWidth(396);
    o.SetHeight(144);
    o.SetMaximized(true);
    o.SetGA(
        {.Count = 5, .FirstTime = 1700000000, .Hash = 123456789, .ID = -2000000000, .PrevTime = 1700000100});
}

class OptionsTest : public ::testing::Test
{
protected:
    QString XmlPath() const { return m_folder.DataFolder() + u"Options.xml"_s; }
    TempDataFolder m_folder;
};

} // namespace

TEST_F(OptionsTest, DataFolderIsCreatedUnderTheUserDataLocation)
{
    TOptions o;
    EXPECT_EQ(o.DataFolder(), m_folder.Root() + u"/Quillbox/"_s);
    EXPECT_TRUE(QFileInfo(o.DataFolder()).isDir());
    ExpectAllDefaults(o);
}

TEST_F(OptionsTest, MissingFileLoadsDefaults)
{
    TOptions o;
    FillValues(o);
    EXPECT_NO_THROW(o.Load());
    ExpectAllDefaults(o);
}

// What the main window does with a file that is not well-formed: Load raises, nothing in the file
// is taken, and after Reset everything is 0.
TEST_F(OptionsTest, BrokenFilesRaiseAndYieldNothing)
{
    const QByteArray cases[] = {
        "",
        "this is not XML at all",
        "<?xml version=\"1.0\"?>",
        "<Options><MainForm Left=\"7\" Width=\"8\"/><GA Count=\"9\"/>", // truncated
        "<Options><MainForm Left=\"7\" Width=\"8\"/></Opt",
        "<Options><MainForm Left=\"7\" Left=\"8\"/></Options>", // duplicate attribute
        "<Options><MainForm Left=\"7\"/></Options><Second/>",
        "\xEF\xBB\xBF",
    };
    for (const QByteArray& content : cases) {
        WriteAll(XmlPath(), content);
        TOptions o;
        FillValues(o);
        EXPECT_THROW(o.Load(), std::runtime_error) << content.toStdString();
        ExpectAllDefaults(o);
    }
}

TEST_F(OptionsTest, UnreadableFileRaises)
{
    QDir().mkpath(XmlPath()); // a folder where the file should be
    TOptions o;
    EXPECT_THROW(o.Load(), std::runtime_error);
}

TEST_F(OptionsTest, NamesMatchAnyCaseUnderAnyRootAndTheFirstMatchWins)
{
    WriteAll(XmlPath(),
             "\xEF\xBB\xBF<settings>"
             "<deep><MainForm Left=\"99\"/></deep>"
             "<mainform LEFT=\"1\" left=\"2\" top=\"3\" wIdTh=\"4\" HEIGHT=\"5\" maximized=\"yes\"/>"
             "<MainForm Left=\"100\"/>"
             "<ga firsttime=\"11\" PREVTIME=\"12\" id=\"13\" hash=\"14\" count=\"15\"/>"
             "<GA Count=\"100\"/>"
             "<!-- ignored --><Other x=\"y\">text</Other>"
             "</settings>");
    TOptions o;
    ASSERT_NO_THROW(o.Load());
    EXPECT_EQ(o.Left(), 1);
    EXPECT_EQ(o.Top(), 3);
    EXPECT_EQ(o.Width(), 4);
    EXPECT_EQ(o.Height(), 5);
    EXPECT_TRUE(o.Maximized());
    const TGAValues ga = o.GA();
    EXPECT_EQ(ga.FirstTime, 11);
    EXPECT_EQ(ga.PrevTime, 12);
    EXPECT_EQ(ga.ID, 13);
    EXPECT_EQ(ga.Hash, 14);
    EXPECT_EQ(ga.Count, 15);
}

TEST_F(OptionsTest, GeometryReadsAsSigned32BitOrZero)
{
    const struct
    {
        const char* value;
        int expected;
    } cases[] = {
        {"640", 640},
        {"-5", -5},
        {"+7", 7},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", 0},
        {"-2147483649", 0},
        {"99999999999999999999999", 0},
        {"", 0},
        {"-", 0},
        {"abc", 0},
        {"12px", 0},
        {"1.5", 0},
        {" 5", 0},
        {"0x10", 0},
    };
    for (const auto& c : cases) {
        WriteAll(XmlPath(), MainFormXml("Left=\"" + QByteArray(c.value) + "\" Top=\"1\""));
        TOptions o;
        ASSERT_NO_THROW(o.Load());
        EXPECT_EQ(o.Left(), c.expected) << c.value;
        EXPECT_EQ(o.Top(), 1) << "a bad value must not spoil the others";
    }
    WriteAll(XmlPath(), MainFormXml("Top=\"1\""));
    TOptions o;
    o.Load();
    EXPECT_EQ(o.Left(), 0);
    EXPECT_EQ(o.Top(), 1);
}

TEST_F(OptionsTest, MaximizedReadsTheFirstCharacter)
{
    const struct
    {
        const char* value;
        bool expected;
    } cases[] = {
        {"1", true},  {"true", true}, {"T", true}, {"Yes", true},    {"y", true},   {"0", false},
        {"2", false}, {"on", false},  {"", false}, {"false", false}, {"No", false}, {" 1", false},
    };
    for (const auto& c : cases) {
        WriteAll(XmlPath(), MainFormXml("Maximized=\"" + QByteArray(c.value) + "\""));
        TOptions o;
        ASSERT_NO_THROW(o.Load());
        EXPECT_EQ(o.Maximized(), c.expected) << c.value;
    }
}

TEST_F(OptionsTest, UsageValuesReadAs64BitAndKeepTheirValueWhenAbsentOrMalformed)
{
    WriteAll(XmlPath(), GAXml("FirstTime=\"4294967296\" PrevTime=\"-9223372036854775808\" "
                              "ID=\"9223372036854775808\" Hash=\"x1\""));
    TOptions o;
    ASSERT_NO_THROW(o.Load());
    const TGAValues ga = o.GA();
    EXPECT_EQ(ga.FirstTime, 4294967296LL);
    EXPECT_EQ(ga.PrevTime, std::numeric_limits<qint64>::min());
    EXPECT_EQ(ga.ID, 0);    // wider than 64 bits
    EXPECT_EQ(ga.Hash, 0);  // not a number
    EXPECT_EQ(ga.Count, 0); // absent
    EXPECT_EQ(o.Left(), 0);
    EXPECT_EQ(o.Width(), 0);
}

TEST_F(OptionsTest, SaveWritesTheExactReadableForm)
{
    TOptions o;
    FillValues(o);
    o.Save();
    EXPECT_EQ(ReadAll(XmlPath()), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                                             "<Options>\r\n"
                                             "  <MainForm Left=\"-12\" Top=\"34\" Width=\"396\" "
                                             "Height=\"144\" Maximized=\"1\"/>\r\n"
                                             "  <GA FirstTime=\"1700000000\" PrevTime=\"1700000100\" "
                                             "ID=\"-2000000000\" Hash=\"123456789\" Count=\"5\"/>\r\n"
                                             "</Options>\r\n"));
}

TEST_F(OptionsTest, LoadThenSaveIsByteIdentical)
{
    TOptions o;
    FillValues(o);
    o.Save();
    const QByteArray first = ReadAll(XmlPath());
    TOptions again;
    again.Load();
    EXPECT_EQ(again.Left(), -12);
    EXPECT_EQ(again.Top(), 34);
    EXPECT_EQ(again.Width(), 396);
    EXPECT_EQ(again.Height(), 144);
    EXPECT_TRUE(again.Maximized());
    EXPECT_EQ(again.GA().ID, -2000000000);
    again.Save();
    EXPECT_EQ(ReadAll(XmlPath()), first);
}

TEST_F(OptionsTest, UsageValuesAreSavedAsTheirLow32BitsSigned)
{
    const struct
    {
        qint64 held;
        const char* written;
    } cases[] = {
        {4294967297LL, "1"}, {2147483648LL, "-2147483648"}, {6000000000LL, "1705032704"},
        {-1, "-1"},          {-4294967296LL, "0"},
    };
    for (const auto& c : cases) {
        TOptions o;
        o.SetGA({.Count = c.held});
        o.Save();
        const QByteArray written = ReadAll(XmlPath());
        EXPECT_TRUE(written.contains(" Count=\"" + QByteArray(c.written) + "\"/>")) << written.toStdString();
        TOptions back;
        back.Load();
        EXPECT_EQ(back.GA().Count, QByteArray(c.written).toLongLong());
    }
}

TEST_F(OptionsTest, FailedSaveRaisesAndKeepsTheOldFile)
{
    TOptions o;
    FillValues(o);
    o.Save();
    const QByteArray before = ReadAll(XmlPath());
    o.SetLeft(500);
    {
        ReadOnlyFolder readOnly(m_folder.DataFolder());
        if (!readOnly.Active())
            GTEST_SKIP() << "cannot make a folder read-only on this machine";
        try {
            o.Save();
            ADD_FAILURE() << "Save into a read-only folder succeeded";
        } catch (const std::runtime_error& e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).contains(XmlPath())) << e.what();
        }
    }
    EXPECT_EQ(ReadAll(XmlPath()), before);
    EXPECT_EQ(QDir(m_folder.DataFolder()).entryList(QDir::Files | QDir::Hidden),
              QStringList{u"Options.xml"_s});
}

// A write that fails half-way (a full disk, here a file size limit) leaves the old file whole.
TEST_F(OptionsTest, WriteFailureKeepsTheOldFile)
{
    const QString path = m_folder.DataFolder() + u"data.bin"_s;
    QDir().mkpath(m_folder.DataFolder());
    ASSERT_EQ(SaveToFile(path, "old contents"), QString());
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limit = previous;
    limit.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &limit);
    const QString error = SaveToFile(path, QByteArray(1 << 20, 'x'));
    setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadAll(path), QByteArray("old contents"));
    EXPECT_EQ(QDir(m_folder.DataFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{u"data.bin"_s});
}

TEST_F(OptionsTest, SaveToFileOwnerOnlySetsMode0600EvenOverAnOpenFile)
{
    const QString path = m_folder.DataFolder() + u"secret"_s;
    WriteAll(path, "old");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                    QFileDevice::ReadOther);
    ASSERT_EQ(SaveToFile(path, "new", true), QString());
    EXPECT_EQ(ReadAll(path), QByteArray("new"));
    struct stat st = {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

// A large file is parsed as a stream: it neither hangs nor is held whole in memory.
TEST_F(OptionsTest, FiftyMegabyteFilesLoadOrFailCleanly)
{
    const qsizetype size = 50 << 20;
    {
        QByteArray xml = "<Options><MainForm Left=\"3\" Width=\"4\"/>";
        const QByteArray filler = "<Filler a=\"0123456789\"><b/>text</Filler>\n";
        xml.reserve(size + 100);
        while (xml.size() < size)
            xml += filler;
        xml += "<GA Count=\"6\"/></Options>";
        WriteAll(XmlPath(), xml);
        TOptions o;
        ASSERT_NO_THROW(o.Load());
        EXPECT_EQ(o.Left(), 3);
        EXPECT_EQ(o.Width(), 4);
        EXPECT_EQ(o.GA().Count, 6);
    }
    {
        WriteAll(XmlPath(),
                 "<Options><MainForm Left=\"3\" Width=\"" + QByteArray(size, '7') + "\"/></Options>");
        TOptions o;
        ASSERT_NO_THROW(o.Load());
        EXPECT_EQ(o.Left(), 3);
        EXPECT_EQ(o.Width(), 0);
    }
    const QByteArray broken[] = {
        QByteArray(size, 'A'),
        "<Options>" + QByteArray(size, '<'),
        QByteArray("<a>").repeated(size / 3),
    };
    for (const QByteArray& content : broken) {
        WriteAll(XmlPath(), content);
        TOptions o;
        EXPECT_THROW(o.Load(), std::runtime_error);
        ExpectAllDefaults(o);
    }
}

TEST_F(OptionsTest, UpdateGAIsOneLockedStep)
{
    TOptions o;
    constexpr int kRounds = 20000;
    auto work = [&] {
        for (int i = 0; i < kRounds; ++i)
            o.UpdateGA([](TGAValues& v) {
                ++v.Count;
                v.PrevTime = v.Count * 2;
            });
    };
    std::thread a(work), b(work);
    int torn = 0;
    for (int i = 0; i < kRounds; ++i) {
        const TGAValues seen = o.GA();
        torn += seen.PrevTime != seen.Count * 2;
    }
    a.join();
    b.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(o.GA().Count, 2 * kRounds);

    // An update that raises changes nothing.
    EXPECT_THROW(o.UpdateGA([](TGAValues& v) {
        v.Count = -1;
        throw std::runtime_error("stop");
    }),
                 std::runtime_error);
    EXPECT_EQ(o.GA().Count, 2 * kRounds);
}

TEST_F(OptionsTest, StartAndStopManageTheGlobal)
{
    OptionsStart();
    ASSERT_NE(Options, nullptr);
    EXPECT_TRUE(QFileInfo(Options->DataFolder()).isDir());
    OptionsStop();
    EXPECT_EQ(Options, nullptr);
}
