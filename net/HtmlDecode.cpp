#include "net/HtmlDecode.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace {

// Named references at their Latin-1 codes: "nbsp" at 32 (a plain blank, not 160), then the HTML 4
// Latin-1 names from 161 to 255.
constexpr std::u16string_view kLow[] = {u"nbsp", u"quot", u"amp", u"lt", u"gt"};
constexpr int kLowCodes[] = {32, 34, 38, 60, 62};
constexpr std::u16string_view kLatin1[] = {
    u"iexcl",  u"cent",   u"pound",  u"curren", u"yen",    u"brvbar", u"sect",   u"uml",    u"copy",
    u"ordf",   u"laquo",  u"not",    u"shy",    u"reg",    u"macr",   u"deg",    u"plusmn", u"sup2",
    u"sup3",   u"acute",  u"micro",  u"para",   u"middot", u"cedil",  u"sup1",   u"ordm",   u"raquo",
    u"frac14", u"frac12", u"frac34", u"iquest", u"Agrave", u"Aacute", u"Acirc",  u"Atilde", u"Auml",
    u"Aring",  u"AElig",  u"Ccedil", u"Egrave", u"Eacute", u"Ecirc",  u"Euml",   u"Igrave", u"Iacute",
    u"Icirc",  u"Iuml",   u"ETH",    u"Ntilde", u"Ograve", u"Oacute", u"Ocirc",  u"Otilde", u"Ouml",
    u"times",  u"Oslash", u"Ugrave", u"Uacute", u"Ucirc",  u"Uuml",   u"Yacute", u"THORN",  u"szlig",
    u"agrave", u"aacute", u"acirc",  u"atilde", u"auml",   u"aring",  u"aelig",  u"ccedil", u"egrave",
    u"eacute", u"ecirc",  u"euml",   u"igrave", u"iacute", u"icirc",  u"iuml",   u"eth",    u"ntilde",
    u"ograve", u"oacute", u"ocirc",  u"otilde", u"ouml",   u"divide", u"oslash", u"ugrave", u"uacute",
    u"ucirc",  u"uuml",   u"yacute", u"thorn",  u"yuml",
};
static_assert(std::size(kLatin1) == 255 - 161 + 1);

constexpr std::size_t kLongestName = 6;
// A name that is in no slot stands for code 31.
constexpr int kUnknownName = 31;

int CodeOfName(std::u16string_view name)
{
    if (name.size() > kLongestName)
        return kUnknownName;
    for (std::size_t i = 0; i < std::size(kLow); ++i) {
        if (kLow[i] == name)
            return kLowCodes[i];
    }
    for (std::size_t i = 0; i < std::size(kLatin1); ++i) {
        if (kLatin1[i] == name)
            return 161 + int(i);
    }
    return kUnknownName;
}

int HexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Reads a 32-bit integer the way the old runtime's StrToIntDef does: leading blanks, a sign, then
// decimal digits or hexadecimal ones after "$", "x", "X" or "0x"; anything else, or a value that
// does not fit, gives 0.
int32_t ReadInteger(std::u16string_view t)
{
    std::size_t i = 0;
    while (i < t.size() && t[i] == u' ')
        ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
        negative = t[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < t.size() && (t[i] == u'$' || t[i] == u'x' || t[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < t.size() && t[i] == u'0' && (t[i + 1] == u'x' || t[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i == t.size())
        return 0;
    uint64_t value = 0;
    for (; i < t.size(); ++i) {
        const int digit = hex ? HexDigit(t[i]) : (t[i] >= u'0' && t[i] <= u'9' ? t[i] - u'0' : -1);
        if (digit < 0)
            return 0;
        value = value * (hex ? 16 : 10) + uint64_t(digit);
        // Hexadecimal may fill all 32 bits; decimal must fit the signed range.
        if (value > (hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull)))
            return 0;
    }
    const auto bits = uint32_t(value);
    return int32_t(negative ? 0u - bits : bits);
}

char16_t ReferenceChar(std::u16string_view name)
{
    const int32_t value = name.front() == u'#' ? ReadInteger(name.substr(1)) : CodeOfName(name);
    return char16_t(uint32_t(value) & 0xFFFF);
}

} // namespace

QString HtmlDecode(const QString& s)
{
    const std::u16string_view text(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size()));
    const std::size_t n = text.size();
    QString out;
    out.reserve(s.size());
    // The next ";" and the next blank at or after the current position, advanced lazily: both only
    // move forward, so the whole walk stays linear however many "&" have no ";".
    std::size_t semicolon = 0;
    std::size_t blank = 0;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (text[i] != u'&' || i + 2 >= n)
            continue;
        if (semicolon <= i) {
            semicolon = text.find(u';', i + 1);
            if (semicolon == std::u16string_view::npos)
                semicolon = n;
        }
        if (blank <= i) {
            blank = text.find(u' ', i + 1);
            if (blank == std::u16string_view::npos)
                blank = n;
        }
        // An empty name ("&;") is no reference: those characters stay as they are.
        if (semicolon == n || blank < semicolon || semicolon == i + 1)
            continue;
        out.append(QStringView(text.data() + copied, qsizetype(i - copied)));
        out.append(QChar(ReferenceChar(text.substr(i + 1, semicolon - i - 1))));
        i = semicolon;
        copied = semicolon + 1;
    }
    out.append(QStringView(text.data() + copied, qsizetype(n - copied)));
    return out;
}
