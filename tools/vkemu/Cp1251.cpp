#include "Cp1251.h"

#include <array>
#include <unordered_map>

#include <QList>

#include <iconv.h>

namespace emu {
namespace {

struct Table
{
    std::array<char32_t, 256> toUnicode{};
    std::unordered_map<char32_t, char> fromUnicode;

    Table()
    {
        iconv_t cd = iconv_open("UTF-32LE", "CP1251");
        for (int b = 0; b < 256; ++b) {
            toUnicode[size_t(b)] = 0xFFFD;
            if (cd == iconv_t(-1))
                continue;
            char in = char(b);
            unsigned char out[8] = {};
            char* inp = &in;
            char* outp = reinterpret_cast<char*>(out);
            size_t inLeft = 1, outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == size_t(-1) || outLeft != 4)
                continue;
            const char32_t cp =
                char32_t(out[0]) | char32_t(out[1]) << 8 | char32_t(out[2]) << 16 | char32_t(out[3]) << 24;
            toUnicode[size_t(b)] = cp;
            fromUnicode.emplace(cp, char(b));
        }
        if (cd != iconv_t(-1))
            iconv_close(cd);
    }
};

const Table& table()
{
    static const Table t;
    return t;
}

} // namespace

QByteArray ToCp1251(const QString& text)
{
    const Table& t = table();
    QByteArray out;
    out.reserve(text.size());
    const QList<uint> codePoints = text.toUcs4();
    for (uint cp : codePoints) {
        const auto it = t.fromUnicode.find(char32_t(cp));
        out.append(it == t.fromUnicode.end() ? '?' : it->second);
    }
    return out;
}

QString FromCp1251(const QByteArray& bytes)
{
    const Table& t = table();
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const char32_t cp = t.toUnicode[size_t(static_cast<unsigned char>(c))];
        out.append(QChar(char16_t(cp)));
    }
    return out;
}

} // namespace emu
