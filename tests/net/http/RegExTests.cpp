// Regular expressions: caseless, dot-all, UTF-8, any newline; match, next match and groups.
#include <gtest/gtest.h>

#include "tests/net/http/HttpTestUtil.h"
#include "net/Web.h"

using namespace Qt::StringLiterals;

namespace {

TEST(RegEx, OptionsAreCaselessDotAllUtf8AndAnyNewline)
{
    struct Case
    {
        QString subject;
        QString pattern;
        QString group1; // empty with matches false
        bool matches;
    };
    const std::vector<Case> cases = {
        {u"var AUTH_HASH = 'ab12';"_s, u"auth_hash = '(\\w+)'"_s, u"ab12"_s, true},
        {u"<b>a\r\nb</b>"_s, u"<b>(.*?)</b>"_s, u"a\r\nb"_s, true},
        {u"СТАТУС: Привет"_s, u"статус: (\\S+)"_s, u"Привет"_s, true}, // caseless beyond ASCII
        {u"line one\rline two"_s, u"(one)$"_s, QString(), false},      // "$" is the end, not a line end
        {u"value x\r\n"_s, u"(x)$"_s, u"x"_s, true},                   // ... except before a final CR LF
        {u"value x\u2028"_s, u"(x)$"_s, u"x"_s, true},                 // any newline, Unicode's too
        {u"abc"_s, u"(x)"_s, QString(), false},
    };
    for (const Case& c : cases) {
        QString group = u"unchanged"_s;
        EXPECT_EQ(FirstMatchGroup(c.subject, c.pattern, group), c.matches) << Std(c.pattern);
        EXPECT_EQ(group, c.matches ? c.group1 : u"unchanged"_s) << Std(c.pattern);
    }
}

TEST(RegEx, NextMatchContinuesAfterThePreviousOne)
{
    const auto re = CreateRegEx(u"id=1; id=22; id=ЖЖ"_s, u"id=(\\w+|Ж+)"_s);
    QStringList found;
    for (bool ok = re->Match(); ok; ok = re->MatchAgain())
        found.append(re->Group(1));
    EXPECT_EQ(found, (QStringList{u"1"_s, u"22"_s, u"ЖЖ"_s}));
    EXPECT_FALSE(re->MatchAgain());
}

TEST(RegEx, AfterAnEmptyMatchTheNextStartsOneCharacterOn)
{
    // "x*" matches empty before every character; the step must not split a two-byte character
    const auto re = CreateRegEx(u"яxя"_s, u"x*"_s);
    QStringList found;
    int count = 0;
    for (bool ok = re->Match(); ok && count < 10; ok = re->MatchAgain(), ++count)
        found.append(re->Group(0));
    EXPECT_EQ(found, (QStringList{QString(), u"x"_s, QString(), QString()}));
}

TEST(RegEx, GroupsBeyondTheCountOrUnusedAreEmpty)
{
    const auto re = CreateRegEx(u"key=v"_s, u"(key)=(v)(?:(z)|v?)"_s);
    ASSERT_TRUE(re->IsValid());
    ASSERT_TRUE(re->Match());
    EXPECT_EQ(re->Group(0), u"key=v"_s);
    EXPECT_EQ(re->Group(1), u"key"_s);
    EXPECT_EQ(re->Group(2), u"v"_s);
    EXPECT_TRUE(re->Group(3).isEmpty());
    EXPECT_TRUE(re->Group(4).isEmpty());
    EXPECT_TRUE(re->Group(-1).isEmpty());
    EXPECT_EQ(re->GroupCount(), 2);
}

TEST(RegEx, AnInvalidPatternNeverMatches)
{
    const auto re = CreateRegEx(u"abc(("_s, u"(("_s);
    EXPECT_FALSE(re->IsValid());
    EXPECT_FALSE(re->Match());
    EXPECT_FALSE(re->MatchAgain());
    EXPECT_TRUE(re->Group(0).isEmpty());
    QString group = u"kept"_s;
    EXPECT_FALSE(FirstMatchGroup(u"abc"_s, u"[a-"_s, group));
    EXPECT_EQ(group, u"kept"_s);
}

} // namespace
