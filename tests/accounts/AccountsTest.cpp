#include <sys/stat.h>
#include <vector>

#include <QDir>
#include <QFile>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include "accounts/Accounts.h"
#include "accounts/CryptStr.h"
#include "net/CodePage.h"
#include "settings/uOptions.h"
#include "tests/settings/ReadOnlyFolder.h"
#include "tests/testsupport/TempDataFolder.h"

using namespace Qt::StringLiterals;

namespace {

struct Expected
{
    QString DisplayName, Login, Password;
};

class AccountsTest : public ::testing::Test
{
protected:
    void SetUp() override { OptionsStart(); }
    void TearDown() override
    {
        DiscardAccounts();
        OptionsStop();
    }
    QString Path() const { return m_folder.DataFolder() + u"acc.lst"_s; }
    void Write(const QByteArray& bytes) const
    {
        QFile f(Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QByteArray Read() const
    {
        QFile f(Path());
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
    unsigned Mode() const
    {
        struct stat st = {};
        EXPECT_EQ(::stat(QFile::encodeName(Path()).constData(), &st), 0);
        return st.st_mode & 07777;
    }
    static void ExpectAccounts(const std::vector<Expected>& expected, const std::string& label)
    {
        ASSERT_NE(Accounts, nullptr);
        ASSERT_EQ(Accounts->Count(), int(expected.size())) << label;
        for (int i = 0; i < Accounts->Count(); ++i) {
            const TAccount* a = (*Accounts)[i];
            EXPECT_EQ(a->DisplayName, expected[size_t(i)].DisplayName) << label << " #" << i;
            EXPECT_EQ(a->Login, expected[size_t(i)].Login) << label << " #" << i;
            EXPECT_EQ(a->Password, expected[size_t(i)].Password) << label << " #" << i;
        }
    }

    TempDataFolder m_folder;
};

QByteArray Utf16(const QString& text, QStringConverter::Encoding encoding)
{
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

} // namespace

TEST_F(AccountsTest, MissingFileGivesAnEmptyStore)
{
    LoadAccounts();
    ExpectAccounts({}, "missing");
}

TEST_F(AccountsTest, ReadsEveryEncodingAndLineEnd)
{
    const QString secret = Scramble(u"пароль 1"_s);
    // The second record has an empty name and the same login again.
    const QString two = u"Иван Петров\n"_s + u"ivan@example.org\n"_s + secret + u"\n"_s + u"\n"_s +
                        u"ivan@example.org\n"_s + u"quy\n"_s;
    const std::vector<Expected> twoAccounts = {{u"Иван Петров"_s, u"ivan@example.org"_s, u"пароль 1"_s},
                                               {QString(), u"ivan@example.org"_s, u"A"_s}};
    const struct
    {
        const char* label;
        QByteArray bytes;
        std::vector<Expected> expected;
    } cases[] = {
        {"CR LF", ToAnsi(QString(two).replace(u"\n"_s, u"\r\n"_s)), twoAccounts},
        {"lone LF", ToAnsi(two), twoAccounts},
        {"lone CR", ToAnsi(QString(two).replace(u'\n', u'\r')), twoAccounts},
        {"no final break", ToAnsi(two.chopped(1)), twoAccounts},
        {"seven lines", ToAnsi(two + u"left over\n"_s), twoAccounts},
        {"UTF-8 mark", "\xEF\xBB\xBF" + two.toUtf8(), twoAccounts},
        {"UTF-16 LE mark", "\xFF\xFE" + Utf16(two, QStringConverter::Utf16LE), twoAccounts},
        {"UTF-16 BE mark", "\xFE\xFF" + Utf16(two, QStringConverter::Utf16BE), twoAccounts},
        {"upper-case password",
         ToAnsi(u"N\nl\n"_s + secret.toUpper() + u"\n"_s),
         {{u"N"_s, u"l"_s, u"пароль 1"_s}}},
        {"blanks kept", ToAnsi(u" N \n l \n"_s + Scramble(u" p "_s)), {{u" N "_s, u" l "_s, u" p "_s}}},
        {"one line", "Name\r\n", {}},
        {"two lines", "Name\r\nlogin\r\n", {}},
        {"empty", "", {}},
    };
    for (const auto& c : cases) {
        Write(c.bytes);
        LoadAccounts();
        ExpectAccounts(c.expected, c.label);
        DiscardAccounts();
    }
}

TEST_F(AccountsTest, SavesWindows1251WithCrLfOwnerOnly)
{
    Write("old");
    QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                      QFileDevice::ReadOther);
    LoadAccounts();
    ASSERT_EQ(Accounts->Count(), 0);
    AddAccount(u"ivan@example.org"_s, u"пароль"_s)->DisplayName = u"Иван Петров"_s;
    AddAccount(u"ivan@example.org"_s, QString()); // same login again, no name, no password
    AddAccount(u"中文"_s, u"x"_s)->DisplayName = u"Ёжик €"_s;
    ASSERT_EQ(SaveAccounts(), QString());
    EXPECT_EQ(Accounts, nullptr);
    EXPECT_EQ(Read(), "\xC8\xE2\xE0\xED \xCF\xE5\xF2\xF0\xEE\xE2\r\nivan@example.org\r\n" +
                          ScrambleAnsi("\xEF\xE0\xF0\xEE\xEB\xFC") +
                          "\r\n"
                          "\r\nivan@example.org\r\n\r\n"
                          "\xA8\xE6\xE8\xEA \x88\r\n??\r\n" +
                          ScrambleAnsi("x") + "\r\n");
    EXPECT_EQ(Mode(), 0600u);

    LoadAccounts();
    ExpectAccounts({{u"Иван Петров"_s, u"ivan@example.org"_s, u"пароль"_s},
                    {QString(), u"ivan@example.org"_s, QString()},
                    {u"Ёжик €"_s, u"??"_s, u"x"_s}},
                   "after a restart");
}

TEST_F(AccountsTest, RewritesWhatWasReadInTheCanonicalForm)
{
    const struct
    {
        const char* label;
        QByteArray bytes;
        QByteArray saved;
    } cases[] = {
        {"UTF-8 mark and LF", "\xEF\xBB\xBF\xD0\xAF\nme\nquy", "\xDF\r\nme\r\nquy\r\n"},
        {"seven lines", "a\nb\nquy\nc\nd\nquy\ne\n", "a\r\nb\r\nquy\r\nc\r\nd\r\nquy\r\n"},
        {"two lines", "a\r\nb\r\n", ""},
        {"upper-case password", "a\r\nb\r\nQUY\r\n", "a\r\nb\r\nquy\r\n"},
    };
    for (const auto& c : cases) {
        Write(c.bytes);
        LoadAccounts();
        ASSERT_EQ(SaveAccounts(), QString()) << c.label;
        EXPECT_EQ(Read(), c.saved) << c.label;
    }
}

TEST_F(AccountsTest, UndecodablePasswordLineSurvivesUntilAPasswordIsSet)
{
    Write("First\r\nfirst@x\r\nnot "
          "scrambled!\r\nSecond\r\nsecond@x\r\nquy\r\nThird\r\nthird@x\r\n\xC0\xC1\r\n");
    LoadAccounts();
    ExpectAccounts({{u"First"_s, u"first@x"_s, QString()},
                    {u"Second"_s, u"second@x"_s, u"A"_s},
                    {u"Third"_s, u"third@x"_s, QString()}},
                   "undecodable");
    EXPECT_EQ((*Accounts)[0]->UndecodedPasswordLine, u"not scrambled!"_s);
    ASSERT_EQ(SaveAccounts(), QString());
    EXPECT_EQ(Read(),
              "First\r\nfirst@x\r\nnot scrambled!\r\nSecond\r\nsecond@x\r\nquy\r\nThird\r\nthird@x\r\n"
              "\xC0\xC1\r\n");

    LoadAccounts();
    (*Accounts)[0]->Password = u"A"_s;
    ASSERT_EQ(SaveAccounts(), QString());
    EXPECT_EQ(Read(),
              "First\r\nfirst@x\r\nquy\r\nSecond\r\nsecond@x\r\nquy\r\nThird\r\nthird@x\r\n\xC0\xC1\r\n");
}

// A line break inside a field would shift every later record by one line.
TEST_F(AccountsTest, LineBreaksInsideAFieldDoNotShiftTheRecords)
{
    LoadAccounts();
    AddAccount(u"log\r\nin"_s, u"A"_s)->DisplayName = u"Two\nlines"_s;
    AddAccount(u"next"_s, u"A"_s)->DisplayName = u"Next"_s;
    ASSERT_EQ(SaveAccounts(), QString());
    LoadAccounts();
    ExpectAccounts({{u"Two lines"_s, u"log  in"_s, u"A"_s}, {u"Next"_s, u"next"_s, u"A"_s}}, "line breaks");
}

TEST_F(AccountsTest, UnwritableFolderKeepsTheOldFileAndReportsIt)
{
    const QByteArray old = "Old\r\nold@x\r\nquy\r\n";
    Write(old);
    LoadAccounts();
    AddAccount(u"new@x"_s, u"A"_s);
    QString error;
    {
        ReadOnlyFolder readOnly(m_folder.DataFolder());
        if (!readOnly.Active())
            GTEST_SKIP() << "cannot make a folder read-only on this machine";
        error = SaveAccounts();
    }
    EXPECT_TRUE(error.contains(Path())) << error.toStdString();
    EXPECT_EQ(Accounts, nullptr);
    EXPECT_EQ(Read(), old);
    EXPECT_EQ(QDir(m_folder.DataFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{u"acc.lst"_s});
}

TEST_F(AccountsTest, HundredThousandAccountsRoundTrip)
{
    constexpr int kCount = 100000;
    QByteArray bytes;
    bytes.reserve(kCount * 40);
    for (int i = 0; i < kCount; ++i) {
        const QByteArray n = QByteArray::number(i);
        bytes += "\xC8\xEC\xFF " + n + "\r\nuser" + n + "@example.org\r\n" + ScrambleAnsi("pw" + n) + "\r\n";
    }
    Write(bytes);
    LoadAccounts();
    ASSERT_EQ(Accounts->Count(), kCount);
    for (const int i : {0, 1, kCount / 2, kCount - 1}) {
        const TAccount* a = (*Accounts)[i];
        EXPECT_EQ(a->DisplayName, u"Имя "_s + QString::number(i));
        EXPECT_EQ(a->Login, u"user%1@example.org"_s.arg(i));
        EXPECT_EQ(a->Password, u"pw"_s + QString::number(i));
    }
    ASSERT_EQ(SaveAccounts(), QString());
    EXPECT_EQ(Read(), bytes);
}
