#include <QByteArray>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include "net/TextFile.h"
#include "tests/net/text/QtPrinters.h"

using namespace Qt::StringLiterals;

TEST(DecodeTextFile, ByteOrderMarkSelectsTheEncoding)
{
    const std::pair<QByteArray, QString> cases[] = {
        {"\xEF\xBB\xBF\xD0\x90\xD1\x8F", u"\u0410\u044F"_s},
        {QByteArray("\xFF\xFE\x10\x04z\0", 6), u"\u0410z"_s},
        {QByteArray("\xFE\xFF\x04\x10\0z", 6), u"\u0410z"_s},
        {"\xC0\xFF", u"\u0410\u044F"_s}, // no mark: Windows-1251
        {"\xEF\xBB", u"\u043F\u00BB"_s}, // half a mark is 8-bit text
        {"\xEF\xBB\xBF", QString()},
        {"", QString()},
        // Broken bytes are kept visible rather than dropped.
        {"\xEF\xBB\xBF"
         "a\xFF",
         u"a\uFFFD"_s},
        {QByteArray("\xFF\xFEz\0q", 5), u"z\uFFFD"_s},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(DecodeTextFile(bytes), text) << bytes.toHex().toStdString();
}

TEST(SplitLines, AllLineEndsAndNoEmptyLineForAFinalBreak)
{
    const std::pair<QString, QStringList> cases[] = {
        {u"a\r\nb\nc\rd"_s, {u"a"_s, u"b"_s, u"c"_s, u"d"_s}},
        {u"a\r\nb\r\n"_s, {u"a"_s, u"b"_s}},
        {u"a\n"_s, {u"a"_s}},
        {u"a\r"_s, {u"a"_s}},
        {u"\r\n"_s, {QString()}},
        {u"a\r\r\nb\n\n"_s, {u"a"_s, QString(), u"b"_s, QString()}},
        {u"a\n\rb"_s, {u"a"_s, QString(), u"b"_s}},
        {u" x \t\r\n"_s, {u" x \t"_s}},
        {QString(), {}},
    };
    for (const auto& [text, lines] : cases)
        EXPECT_EQ(SplitLines(text), lines) << text.toStdString();
}

TEST(TextFile, Utf16FileWithBomReadsAsLines)
{
    const QString text = u"Имя\r\nlogin\nqwe"_s;
    QByteArray le("\xFF\xFE");
    QByteArray be("\xFE\xFF");
    for (const QChar c : text) {
        le += char(c.unicode() & 0xFF);
        le += char(c.unicode() >> 8);
        be += char(c.unicode() >> 8);
        be += char(c.unicode() & 0xFF);
    }
    const QStringList expected{u"Имя"_s, u"login"_s, u"qwe"_s};
    EXPECT_EQ(SplitLines(DecodeTextFile(le)), expected);
    EXPECT_EQ(SplitLines(DecodeTextFile(be)), expected);
}
