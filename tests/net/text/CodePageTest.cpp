#include <cerrno>
#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>
#include <iconv.h>

#include "net/CodePage.h"
#include "tests/net/text/QtPrinters.h"

namespace {

// glibc's own CP1251 converter, so the table is checked against something we did not write.
class Iconv
{
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // The converted bytes, or nothing when the converter rejects the input.
    std::optional<QByteArray> Convert(QByteArray in)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        QByteArray out(16, '\0');
        char* ip = in.data();
        std::size_t il = std::size_t(in.size());
        char* op = out.data();
        std::size_t ol = std::size_t(out.size());
        if (iconv(m_cd, &ip, &il, &op, &ol) == std::size_t(-1))
            return std::nullopt;
        out.truncate(out.size() - qsizetype(ol));
        return out;
    }

private:
    iconv_t m_cd;
};

QByteArray Ucs4(char32_t c)
{
    QByteArray b(4, '\0');
    for (int k = 0; k < 4; ++k)
        b[k] = char((c >> (8 * k)) & 0xFF);
    return b;
}

} // namespace

TEST(CodePage, EveryByteMatchesGlibcAndRoundTrips)
{
    Iconv toUnicode("UCS-4LE", "CP1251");
    ASSERT_TRUE(toUnicode.ok());
    for (int b = 0; b < 256; ++b) {
        const QByteArray byte(1, char(b));
        const QString text = FromAnsi(byte);
        ASSERT_EQ(text.size(), 1) << "byte " << b;
        EXPECT_EQ(ToAnsi(text), byte) << "byte " << b;
        if (b == 0x98) {
            // Undefined in Windows-1251; kept as the C1 control of the same value.
            EXPECT_EQ(text.at(0).unicode(), 0x98);
            continue;
        }
        const auto expected = toUnicode.Convert(byte);
        ASSERT_TRUE(expected.has_value()) << "byte " << b;
        EXPECT_EQ(*expected, Ucs4(text.at(0).unicode())) << "byte " << b;
    }
}

TEST(CodePage, EveryBmpCharacterMatchesGlibcOrBecomesQuestionMark)
{
    Iconv toAnsi("CP1251", "UCS-4LE");
    ASSERT_TRUE(toAnsi.ok());
    int mapped = 0;
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const QByteArray ours = ToAnsi(QString(QChar(char16_t(c))));
        if (c == 0x98) {
            EXPECT_EQ(ours, QByteArray("\x98"));
            continue;
        }
        const auto expected = toAnsi.Convert(Ucs4(c));
        if (expected) {
            ++mapped;
            EXPECT_EQ(ours, *expected) << "U+" << std::hex << unsigned(c);
        } else {
            EXPECT_EQ(ours, QByteArray("?")) << "U+" << std::hex << unsigned(c);
        }
    }
    // 255 defined bytes, each one code point: a converter that maps more or fewer is not CP1251.
    EXPECT_EQ(mapped, 255);
}

TEST(CodePage, CharactersOutsideBecomeOneQuestionMarkEach)
{
    EXPECT_EQ(ToAnsi(u"\u20AC"), QByteArray("\x88"));
    EXPECT_EQ(ToAnsi(u"caf\u00E9"), QByteArray("caf?"));
    // A character beyond the BMP is one "?", not one per UTF-16 unit; lone surrogates each give one.
    EXPECT_EQ(ToAnsi(u"a\U0001F600b"), QByteArray("a?b"));
    EXPECT_EQ(ToAnsi(u"\xD83D"
                     u"x\xDE00"),
              QByteArray("?x?"));
    EXPECT_EQ(ToAnsi(u"\xD83D"), QByteArray("?"));
}

TEST(CodePage, LongMixedTextTakesTheSameRouteAsSingleCharacters)
{
    // Long enough for the block-wise ASCII paths, with non-ASCII bytes at every offset.
    QByteArray bytes;
    for (int i = 0; i < 1000; ++i)
        bytes.append(char(i % 7 == 0 ? 0x80 + (i * 13) % 128 : 0x20 + (i * 31) % 95));
    const QString text = FromAnsi(bytes);
    ASSERT_EQ(text.size(), bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(text.at(i), FromAnsi(bytes.mid(i, 1)).at(0)) << "at " << i;
    EXPECT_EQ(ToAnsi(text), bytes);
    EXPECT_EQ(ToAnsi(QString()), QByteArray());
    EXPECT_EQ(FromAnsi(QByteArray()), QString());
}
