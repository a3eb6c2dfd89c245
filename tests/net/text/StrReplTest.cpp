#include <cstdint>
#include <random>
#include <string>

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include "net/StrRepl.h"
#include "tests/net/text/QtPrinters.h"

using namespace Qt::StringLiterals;

namespace {

uint8_t Folded(uint8_t b)
{
    return (b >= 0x41 && b <= 0x5A) || (b >= 0xC0 && b <= 0xDF) ? uint8_t(b + 0x20) : b;
}

bool SameAt(const QByteArray& s, qsizetype at, const QByteArray& p, bool cs)
{
    for (qsizetype k = 0; k < p.size(); ++k) {
        const auto a = uint8_t(s[at + k]);
        const auto b = uint8_t(p[k]);
        if (cs ? a != b : Folded(a) != Folded(b))
            return false;
    }
    return true;
}

// The plainest replace-all there is, to hold the fast one against.
QByteArray NaiveReplace(const QByteArray& s, const QByteArray& old, const QByteArray& now, bool cs)
{
    if (old.isEmpty())
        return s;
    QByteArray out;
    qsizetype i = 0;
    while (i < s.size()) {
        if (i + old.size() <= s.size() && SameAt(s, i, old, cs)) {
            out += now;
            i += old.size();
        } else {
            out += s[i++];
        }
    }
    return out;
}

} // namespace

TEST(FastReplace, Cases)
{
    struct Case
    {
        QString s, old, now;
        bool cs;
        QString expected;
    };
    const Case cases[] = {
        {u"HTTP://a/http://b"_s, u"http://"_s, QString(), false, u"a/b"_s},
        {u"HTTP://a/http://b"_s, u"http://"_s, QString(), true, u"HTTP://a/b"_s},
        {u"ab"_s, u"abc"_s, u"x"_s, false, u"ab"_s},
        {QString(), u"a"_s, u"b"_s, false, QString()},
        {u"abc"_s, QString(), u"x"_s, false, u"abc"_s},
        // Non-overlapping, left to right, nothing rescanned.
        {u"aaaa"_s, u"aa"_s, u"a"_s, true, u"aa"_s},
        {u"aaa"_s, u"aa"_s, u"b"_s, true, u"ba"_s},
        {u"abab"_s, u"ab"_s, u"abab"_s, true, u"abababab"_s},
        {u"xyxy"_s, u"xy"_s, QString(), true, QString()},
        {u"a-b-c"_s, u"-"_s, u"+"_s, true, u"a+b+c"_s},
        {u"a-b-c"_s, u"-"_s, u"--"_s, true, u"a--b--c"_s},
        // Cyrillic capitals fold onto small letters; Ё and ё are not a pair.
        {u"ПРИВЕТ привет ПрИвЕт"_s, u"привет"_s, u"hi"_s, false, u"hi hi hi"_s},
        {u"ПРИВЕТ привет"_s, u"привет"_s, u"hi"_s, true, u"ПРИВЕТ hi"_s},
        {u"Ёж ёж"_s, u"ёж"_s, u"x"_s, false, u"Ёж x"_s},
        {u"Ab aB"_s, u"a"_s, u"z"_s, false, u"zb zB"_s},
        {u"Ab aB"_s, u"a"_s, u"z"_s, true, u"Ab zB"_s},
        // "@" and "[" sit next to A-Z but do not fold onto "`" and "{".
        {u"@[`{"_s, u"`{"_s, u"!"_s, false, u"@[!"_s},
        // Characters outside the 8-bit code page take part as "?".
        {u"caf\u00E9"_s, u"?"_s, u"e"_s, true, u"cafe"_s},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FastReplace(c.s, c.old, c.now, c.cs), c.expected)
            << c.s.toStdString() << " / " << c.old.toStdString() << " cs=" << c.cs;
}

TEST(FastReplace, MatchesNaiveReplaceOnRandomText)
{
    // A small alphabet with both halves of several folding pairs makes matches frequent, and the
    // lengths cross the sixteen-byte blocks of the search at every offset.
    const char alphabet[] = {'a', 'A', 'b', 'B', '\xC0', '\xE0', '\xA8', '\xB8', '@', '`', 'z'};
    std::mt19937 rng(12345);
    auto pick = [&](int len) {
        QByteArray b;
        for (int i = 0; i < len; ++i)
            b += alphabet[rng() % sizeof(alphabet)];
        return b;
    };
    for (int round = 0; round < 4000; ++round) {
        const QByteArray s = pick(int(rng() % 80));
        const QByteArray old = pick(1 + int(rng() % 5));
        const QByteArray now = pick(int(rng() % 4));
        const bool cs = round % 2 == 0;
        ASSERT_EQ(FastReplaceAnsi(s, old, now, cs), NaiveReplace(s, old, now, cs))
            << s.toHex().toStdString() << " " << old.toHex().toStdString() << " cs=" << cs;
    }
}

TEST(FastReplace, TextFullOfMatches)
{
    // More matches than the replacement keeps positions for up front.
    QByteArray s;
    QByteArray expected;
    for (int i = 0; i < 100000; ++i) {
        s += i % 3 == 0 ? "Ab-" : "ab";
        expected += i % 3 == 0 ? "xyz-" : "xyz";
    }
    EXPECT_EQ(FastReplaceAnsi(s, "aB", "xyz", false), expected);
    EXPECT_EQ(FastReplaceAnsi(s, "ab", "", false), QByteArray(33334, '-'));
    EXPECT_EQ(FastReplaceAnsi(s, "ab", "xyz", true), NaiveReplace(s, "ab", "xyz", true));
}

TEST(FastPos, PositionsAreOneBasedAndRespectStart)
{
    struct Case
    {
        QByteArray sub, s;
        int start;
        bool cs;
        int expected;
    };
    const Case cases[] = {
        {"b", "abcabc", 1, true, 2},
        {"b", "abcabc", 3, true, 5},
        {"bc", "abcabc", 5, true, 5},
        {"bc", "abcabc", 6, true, 0}, // no longer fits after Start
        {"abc", "abcabc", 100, true, 0},
        {"ABC", "xxabc", 1, false, 3},
        {"ABC", "xxabc", 1, true, 0},
        {"", "abc", 1, true, 0},
        {"a", "", 1, true, 0},
        {"abcd", "abc", 1, true, 0},
        {"c", "abc", 0, true, 3}, // a Start before the text searches from its beginning
        // The match straddles the end of a sixteen-byte block.
        {"xyz", "0123456789abcdexyz", 1, true, 16},
        {"XYZ", "0123456789abcdefghijklmnopqrstuvwxyz", 2, false, 34},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FastPos(c.sub, c.s, c.start, c.cs), c.expected)
            << c.sub.toStdString() << " in " << c.s.toStdString() << " from " << c.start;
}

TEST(FastCharReplace, FoldsOnlyThroughTheTable)
{
    QByteArray exact("aAaA\xC0\xE0");
    FastCharReplace(exact, 'a', '-', true);
    EXPECT_EQ(exact, QByteArray("-A-A\xC0\xE0"));

    QByteArray folded("aAaA\xC0\xE0\xA8\xB8");
    FastCharReplace(folded, 'A', '-', false);
    FastCharReplace(folded, '\xE0', '+', false);
    FastCharReplace(folded, '\xB8', '#', false);
    EXPECT_EQ(folded, QByteArray("----++\xA8#"));

    // Every byte against every byte: the one-byte case folds exactly the pairs the search folds.
    for (int from = 0; from < 256; ++from) {
        QByteArray all(256, '\0');
        for (int b = 0; b < 256; ++b)
            all[b] = char(b);
        const QByteArray original = all;
        FastCharReplace(all, char(from), '\x01', false);
        for (int b = 0; b < 256; ++b) {
            const bool hit = Folded(uint8_t(b)) == Folded(uint8_t(from));
            ASSERT_EQ(all[b], hit ? '\x01' : original[b]) << from << " " << b;
        }
    }
}
