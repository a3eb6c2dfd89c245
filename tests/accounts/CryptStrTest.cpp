#include <algorithm>
#include <random>

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include "accounts/CryptStr.h"
#include "net/CodePage.h"
#include "net/Exception.h"

using namespace Qt::StringLiterals;

namespace {

constexpr char kTokens[] = "qwertyuiopasdfghjklzxcvbnm";

// The scrambler written as literally as it is defined: three digits per byte, then 26 replace-all
// passes from 25 down to 0. The real one must give the same bytes however it gets there.
QByteArray LiteralScramble(const QByteArray& bytes)
{
    QByteArray d;
    for (const char c : bytes)
        d += QByteArray::number(uint8_t(c)).rightJustified(3, '0');
    for (int n = 25; n >= 0; --n)
        d.replace(QByteArray::number(n), QByteArray(1, kTokens[n]));
    return d;
}

} // namespace

TEST(CryptStr, ExamplesAndEmptyText)
{
    EXPECT_EQ(Scramble(u"Я"_s), u"eb"_s);  // 223: 2 then 23
    EXPECT_EQ(Scramble(u"A"_s), u"quy"_s); // 065: 0, 6, 5
    EXPECT_EQ(Unscramble(u"eb"_s), u"Я"_s);
    EXPECT_EQ(Unscramble(u"quy"_s), u"A"_s);
    EXPECT_EQ(Scramble(QString()), QString());
    EXPECT_EQ(Unscramble(QString()), QString());
}

TEST(CryptStr, EveryByteRoundTripsAloneAndInSequence)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        const QByteArray one(1, char(b));
        const QByteArray scrambled = ScrambleAnsi(one);
        EXPECT_EQ(scrambled, LiteralScramble(one)) << b;
        EXPECT_EQ(UnscrambleAnsi(scrambled), one) << b;
        all += one;
    }
    // Backwards too, so every byte meets other neighbours across the group borders.
    QByteArray reversed = all;
    std::reverse(reversed.begin(), reversed.end());
    for (const QByteArray& bytes : {all, reversed}) {
        const QByteArray scrambled = ScrambleAnsi(bytes);
        for (const char c : scrambled)
            ASSERT_TRUE(c >= 'a' && c <= 'z') << scrambled.toStdString();
        EXPECT_EQ(UnscrambleAnsi(scrambled), bytes);
        EXPECT_EQ(FromAnsi(bytes), Unscramble(Scramble(FromAnsi(bytes))));
    }
}

// The passes fight over digits that border each other (1 1 1 ..., 2 5 2 ...), so the fast
// implementation is held against the literal one on inputs rich in 1s, 2s and 5s.
TEST(CryptStr, MatchesTheLiteralPassesOnTrickyInput)
{
    const uint8_t tricky[] = {0,   1,   2,   5,   10,  11,  12,  21,  22,  25,  101, 110, 111,
                              112, 121, 122, 125, 151, 211, 212, 221, 222, 225, 251, 252, 255};
    std::mt19937 random(20240601);
    for (int round = 0; round < 4000; ++round) {
        QByteArray bytes;
        const int length = int(random() % 24);
        for (int i = 0; i < length; ++i)
            bytes += random() % 4 == 0 ? char(random() % 256) : char(tricky[random() % std::size(tricky)]);
        const QByteArray scrambled = ScrambleAnsi(bytes);
        ASSERT_EQ(scrambled, LiteralScramble(bytes)) << bytes.toHex().toStdString();
        ASSERT_EQ(UnscrambleAnsi(scrambled), bytes) << bytes.toHex().toStdString();
    }
    const QByteArray longRun(5000, char(111));
    EXPECT_EQ(ScrambleAnsi(longRun), LiteralScramble(longRun));
}

TEST(CryptStr, UnscrambleReadsCaseDigitsPaddingAndLowBits)
{
    const struct
    {
        const char* scrambled;
        QByteArray bytes;
    } cases[] = {
        {"QUY", "A"},                   // upper-case tokens
        {"qUy", "A"},                   //
        {"065", "A"},                   // digits stand for themselves
        {"w", "\x01"},                  // "1" padded to "001"
        {"ma", QByteArray("\x02\xFE")}, // "2510" -> "002" "510"; 510 keeps its low 8 bits
        {"ppp", "\xE7"},                // 999 & 255
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UnscrambleAnsi(QByteArray(c.scrambled)), c.bytes) << c.scrambled;
        EXPECT_EQ(Unscramble(QString::fromLatin1(c.scrambled)), FromAnsi(c.bytes)) << c.scrambled;
    }
}

TEST(CryptStr, InvalidTextIsRejected)
{
    for (const QString& text : {u"quy "_s, u" "_s, u"qu-y"_s, u"q?y"_s, u"quя"_s, u"qué"_s, u"qu\ty"_s,
                                u"q"_s + QChar(0) + u"y"_s}) {
        EXPECT_FALSE(TryUnscramble(text).has_value()) << text.toStdString();
        EXPECT_THROW(Unscramble(text), Exception) << text.toStdString();
    }
    EXPECT_FALSE(UnscrambleAnsi("qu\xC0").has_value());
}

TEST(CryptStr, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    EXPECT_EQ(Unscramble(Scramble(u"a中b"_s)), u"a?b"_s);
    EXPECT_EQ(Unscramble(Scramble(u"Привет, мир №1 €"_s)), u"Привет, мир №1 €"_s);
}
