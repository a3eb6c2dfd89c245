#include <cctype>
#include <random>

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include "net/Exception.h"
#include "net/UrlCode.h"
#include "tests/net/text/QtPrinters.h"

using namespace Qt::StringLiterals;

TEST(UrlEncode, Cases)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        {" ", "+"},
        {"a&b=c", "a%26b%3dc"},
        {"\xC0", "%c0"},
        {"\xD0\x90", "%d0%90"},
        {"!$'()*-._@", "!$'()*-._@"},
        {"~#%+/:;?,\"<>[]^`{|}\\", "%7e%23%25%2b%2f%3a%3b%3f%2c%22%3c%3e%5b%5d%5e%60%7b%7c%7d%5c"},
        {"\x01\x7F\x80\xFF", "%01%7f%80%ff"},
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(UrlEncode(in), out) << in.toHex().toStdString();
}

TEST(UrlEncode, SafeSetIsExactlyLettersDigitsAndTenMarks)
{
    const QByteArray marks("!$'()*-._@");
    for (int b = 1; b < 256; ++b) {
        const char c = char(b);
        const bool safe =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || marks.contains(c);
        const QByteArray expected = safe       ? QByteArray(1, c)
                                    : b == ' ' ? QByteArray("+")
                                               : "%" + QByteArray::number(b, 16).rightJustified(2, '0');
        EXPECT_EQ(UrlEncode(QByteArray(1, c)), expected) << b;
    }
}

TEST(UrlCode, StopsAtTheFirstZeroByte)
{
    const QByteArray withZero("a b\0c d", 7);
    EXPECT_EQ(UrlEncode(withZero), QByteArray("a+b"));
    EXPECT_EQ(UrlDecode(withZero), QByteArray("a b"));
    // The zero byte also ends the text an escape may use.
    EXPECT_THROW(UrlDecode(QByteArray("%4\0"
                                      "1",
                                      4)),
                 Exception);
}

TEST(UrlDecode, Cases)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"a+b%2B%2bc%%", "a b++c%"},
        {"%c0%D0%90", "\xC0\xD0\x90"},
        {"%00x", QByteArray("\0x", 2)},
        {"%%%41", "%A"},
        {"100%%", "100%"},
        {"plain", "plain"},
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(UrlDecode(in), out) << in.toStdString();
}

TEST(UrlDecode, MalformedEscapesRaiseWithOneBasedPosition)
{
    const std::pair<QByteArray, QString> cases[] = {
        {"abc%4", u"Error decoding URL style (%XX) encoded string at position 4"_s},
        {"x%", u"Error decoding URL style (%XX) encoded string at position 2"_s},
        {"%", u"Error decoding URL style (%XX) encoded string at position 1"_s},
        {"x%zz", u"Invalid URL encoded character (%zz) at position 2"_s},
        {"ab%4g%41", u"Invalid URL encoded character (%4g) at position 3"_s},
        // The offending text is quoted as it is, even when it looks like a placeholder.
        {"%1z", u"Invalid URL encoded character (%1z) at position 1"_s},
        {"%+1", u"Invalid URL encoded character (%+1) at position 1"_s},
        {"\xC0%\xC1z", u"Invalid URL encoded character (%Бz) at position 2"_s},
    };
    for (const auto& [in, message] : cases) {
        try {
            UrlDecode(in);
            ADD_FAILURE() << "no error for " << in.toStdString();
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), message);
        }
    }
}

namespace {

// Byte by byte, the way the rules read; the error is given as its message.
QByteArray NaiveDecode(const QByteArray& s, QString& error)
{
    QByteArray out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '+') {
            out += ' ';
        } else if (c != '%') {
            out += c;
        } else if (i + 1 < s.size() && s[i + 1] == '%') {
            out += '%';
            ++i;
        } else if (i + 2 >= s.size()) {
            error = u"Error decoding URL style (%XX) encoded string at position "_s + QString::number(i + 1);
            return {};
        } else {
            bool ok = false;
            const int value = s.mid(i + 1, 2).toInt(&ok, 16);
            if (!ok || !std::isxdigit(uchar(s[i + 1])) || !std::isxdigit(uchar(s[i + 2]))) {
                error = u"Invalid URL encoded character (%"_s + QString::fromLatin1(s.mid(i + 1, 2)) +
                        u") at position "_s + QString::number(i + 1);
                return {};
            }
            out += char(value);
            i += 2;
        }
    }
    return out;
}

} // namespace

TEST(UrlDecode, MatchesByteByByteDecodingOnRandomInput)
{
    // Runs of plain bytes of every length between the escapes, so block-wise copying is crossed.
    const char alphabet[] = {'a', 'b', '+', '%', '%', '4', '1', 'F', 'f', 'g', ' '};
    std::mt19937 rng(7);
    for (int round = 0; round < 5000; ++round) {
        QByteArray s;
        const int len = int(rng() % 70);
        for (int i = 0; i < len; ++i)
            s += rng() % 3 == 0 ? alphabet[rng() % sizeof(alphabet)] : 'x';
        QString expectedError;
        const QByteArray expected = NaiveDecode(s, expectedError);
        try {
            const QByteArray decoded = UrlDecode(s);
            ASSERT_TRUE(expectedError.isEmpty()) << s.toStdString();
            ASSERT_EQ(decoded, expected) << s.toStdString();
        } catch (const Exception& e) {
            ASSERT_EQ(e.Message(), expectedError) << s.toStdString();
        }
    }
}

TEST(UrlCode, EveryByteRoundTrips)
{
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all += char(b);
    const QByteArray encoded = UrlEncode(all);
    for (const char c : encoded)
        ASSERT_TRUE(uint8_t(c) < 0x80 && c != ' ');
    EXPECT_EQ(UrlDecode(encoded), all);
}
