#include <QString>

#include <gtest/gtest.h>

#include "net/HtmlDecode.h"
#include "tests/net/text/QtPrinters.h"

using namespace Qt::StringLiterals;

TEST(HtmlDecode, Cases)
{
    const std::pair<QString, QString> cases[] = {
        {u"&lt;b&gt;"_s, u"<b>"_s},
        {u"&#1055;"_s, u"\u041F"_s},
        {u"&#x41;"_s, u"A"_s},
        {u"&nbsp;"_s, u" "_s},
        {u"&quot;&amp;"_s, u"\"&"_s},
        {u"AT&T and more;"_s, u"AT&T and more;"_s},
        {u"&foo;"_s, QString(QChar(31))},
        {u"&AMP;"_s, QString(QChar(31))},
        {u"&apos;"_s, QString(QChar(31))},
        {u"&#abc;"_s, QString(QChar(0))},
        {u"ab&"_s, u"ab&"_s},
        {u"ab&c"_s, u"ab&c"_s},
        {u"&a"_s, u"&a"_s},
        {u"&a;"_s, QString(QChar(31))},
        {u"&amp;lt;"_s, u"&lt;"_s},
        {u"a&;b;"_s, u"a&;b;"_s},
        {u"&&lt;"_s, QString(QChar(31))}, // the first "&" takes everything up to the ";"
        {u"x &copy; 2024 &yuml;&iexcl;&times;&divide;&szlig;"_s,
         u"x \u00A9 2024 \u00FF\u00A1\u00D7\u00F7\u00DF"_s},
        {u"&AElig;&aelig;&ETH;&eth;&THORN;&thorn;"_s, u"\u00C6\u00E6\u00D0\u00F0\u00DE\u00FE"_s},
        {u"&Привет;"_s, QString(QChar(31))},
        {QString(), QString()},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(HtmlDecode(in), out) << in.toStdString();
}

TEST(HtmlDecode, NumbersReadLikeTheOldRuntime)
{
    const std::pair<QString, char16_t> cases[] = {
        {u"&#65;"_s, u'A'},
        {u"&#+65;"_s, u'A'},
        {u"&#$41;"_s, u'A'},
        {u"&#X41;"_s, u'A'},
        {u"&#0x41;"_s, u'A'},
        {u"&#0041;"_s, u')'},  // leading zeros are still decimal
        {u"&#65601;"_s, u'A'}, // low 16 bits of 0x10041
        {u"&#x10041;"_s, u'A'},
        {u"&#-1;"_s, u'\uFFFF'},
        {u"&#xFFFFFFFF;"_s, u'\uFFFF'},
        {u"&#2147483647;"_s, u'\uFFFF'},
        {u"&#2147483648;"_s, u'\0'}, // beyond 32 bits: unreadable
        {u"&#x100000000;"_s, u'\0'},
        {u"&#99999999999999999999999;"_s, u'\0'},
        {u"&#;"_s, u'\0'},
        {u"&#x;"_s, u'\0'},
        {u"&#-;"_s, u'\0'},
        {u"&#12a;"_s, u'\0'},
        {u"&#0x;"_s, u'\0'},
    };
    for (const auto& [in, code] : cases)
        EXPECT_EQ(HtmlDecode(in), QString(QChar(code))) << in.toStdString();
}

TEST(HtmlDecode, ManyAmpersandsWithoutSemicolonStayUnchanged)
{
    // Linear handling must not change results: a long run of "&", and one with a far ";".
    const QString amps(1 << 20, u'&');
    EXPECT_EQ(HtmlDecode(amps), amps);
    const QString farSemicolon = QString(1 << 16, u'&') + u"x;"_s;
    EXPECT_EQ(HtmlDecode(farSemicolon), QString(QChar(31)));
    const QString farBlank = u"&a"_s + QString(1 << 16, u'&') + u" b;&lt;"_s;
    EXPECT_EQ(HtmlDecode(farBlank), u"&a"_s + QString(1 << 16, u'&') + u" b;<"_s);
}
