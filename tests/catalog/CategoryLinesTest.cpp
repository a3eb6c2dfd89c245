#include "catalog/CategoryLines.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "accounts/CryptStr.h"
#include "net/Exception.h"

using namespace Qt::StringLiterals;

namespace {

QStringList RawLines(const TCategoryLines& lines)
{
    QStringList result;
    for (qsizetype i = 0; i < lines.Count(); ++i) {
        result.append(QString::fromLatin1(lines.Line(i)));
    }
    return result;
}

struct SplitCase
{
    const char* name;
    QByteArray bytes;
    QStringList expected;
};

} // namespace

TEST(CategoryLines, SplitsWithTheTextFileRules)
{
    const QByteArray utf16le("\xFF\xFE"
                             "a\0b\0\r\0\n\0c\0",
                             12);
    const QByteArray utf16be("\xFE\xFF"
                             "\0a\0\n\0b",
                             8);
    const SplitCase cases[] = {
        {"empty file", "", {}},
        {"only a byte-order mark", "\xEF\xBB\xBF", {}},
        {"one line without a break", "abc", {u"abc"_s}},
        {"a final break adds no line", "abc\r\n", {u"abc"_s}},
        {"a single break is one empty line", "\n", {u""_s}},
        {"CR LF, LF and CR mixed", "a\r\nb\nc\rd", {u"a"_s, u"b"_s, u"c"_s, u"d"_s}},
        {"CR CR is two breaks", "a\r\rb\r", {u"a"_s, u""_s, u"b"_s}},
        {"LF CR is two breaks", "a\n\rb", {u"a"_s, u""_s, u"b"_s}},
        {"empty lines kept", "\r\n\r\nx\r\n\r\n", {u""_s, u""_s, u"x"_s, u""_s}},
        {"UTF-8 mark dropped", "\xEF\xBB\xBFqw\r\ner", {u"qw"_s, u"er"_s}},
        {"UTF-16 LE", utf16le, {u"ab"_s, u"c"_s}},
        {"UTF-16 BE", utf16be, {u"a"_s, u"b"_s}},
    };
    for (const SplitCase& c : cases) {
        const TCategoryLines lines = TCategoryLines::FromBytes(c.bytes);
        EXPECT_EQ(RawLines(lines), c.expected) << c.name;
    }
}

TEST(CategoryLines, DecodesScrambledLinesAndKeepsOthersAsTheyStand)
{
    const QString status = u"Привет, мир! Ёлка — «да»"_s;
    const QByteArray scrambled = Scramble(status).toLatin1();
    QByteArray bytes = scrambled + "\r\n" + scrambled.toUpper() + "\r\nnot scrambled 1\r\n\xC4\xE0 ?\r\n";
    const TCategoryLines ansi = TCategoryLines::FromBytes(bytes);
    ASSERT_EQ(ansi.Count(), 4);
    EXPECT_EQ(ansi.Text(0), status);
    EXPECT_EQ(ansi.Text(1), status) << "upper-case tokens read as their tokens";
    EXPECT_EQ(ansi.Text(2), u"not scrambled 1"_s);
    EXPECT_EQ(ansi.Text(3), u"Да ?"_s) << "a file without a mark is 8-bit text";

    const TCategoryLines utf8 =
        TCategoryLines::FromBytes("\xEF\xBB\xBF" + scrambled + "\n\xD0\x94\xD0\xB0 ?");
    ASSERT_EQ(utf8.Count(), 2);
    EXPECT_EQ(utf8.Text(0), status);
    EXPECT_EQ(utf8.Text(1), u"Да ?"_s) << "a UTF-8 file's undecodable line is read as UTF-8";
}

TEST(CategoryLines, MissingFileNamesTheFile)
{
    const QString path = u"/nonexistent-folder/Base/love.txt"_s;
    try {
        TCategoryLines::FromFile(path);
        FAIL() << "no error for a missing file";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().contains(path)) << e.Message().toStdString();
    }
}

TEST(CategoryLines, ReadsALargeFileWhole)
{
    // Past 2 MiB the file is read into a buffer of its own; every line must still be there.
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(u"big.txt"_s);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const int count = 30000;
    for (int i = 0; i < count; ++i) {
        file.write(Scramble(u"Длинный статус номер %1 из большого файла"_s.arg(i)).toLatin1() + "\r\n");
    }
    file.close();
    ASSERT_GT(file.size(), 2 << 20);

    const TCategoryLines lines = TCategoryLines::FromFile(path);
    ASSERT_EQ(lines.Count(), count);
    for (const int i : {0, 1, count / 2, count - 1}) {
        EXPECT_EQ(lines.Text(i), u"Длинный статус номер %1 из большого файла"_s.arg(i));
    }
}
