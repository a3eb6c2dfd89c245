#include "net/UrlCode.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "net/CodePage.h"
#include "net/Exception.h"

using namespace Qt::StringLiterals;

namespace {

enum ByteClass : uint8_t { Encode, Copy, Blank, End };

constexpr std::array<uint8_t, 256> MakeClasses()
{
    std::array<uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
        const bool alnum = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9');
        const bool mark = b == '!' || b == '$' || b == '\'' || b == '(' || b == ')' || b == '*' || b == '-' ||
                          b == '.' || b == '_' || b == '@';
        t[b] = alnum || mark ? Copy : Encode;
    }
    t[' '] = Blank;
    t[0] = End;
    return t;
}
constexpr std::array<uint8_t, 256> kClass = MakeClasses();

// -1 for a byte that is no hexadecimal digit.
constexpr std::array<int8_t, 256> MakeHexValues()
{
    std::array<int8_t, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[b] = -1;
    for (int d = 0; d < 10; ++d)
        t['0' + d] = int8_t(d);
    for (int d = 0; d < 6; ++d) {
        t['a' + d] = int8_t(10 + d);
        t['A' + d] = int8_t(10 + d);
    }
    return t;
}
constexpr std::array<int8_t, 256> kHex = MakeHexValues();

constexpr char kDigits[] = "0123456789abcdef";

// Out of line, so the decoding loop keeps its registers.
[[noreturn, gnu::noinline, gnu::cold]] void ThrowTruncatedEscape(qsizetype at)
{
    throw Exception(u"Error decoding URL style (%XX) encoded string at position %1"_s.arg(at + 1));
}

[[noreturn, gnu::noinline, gnu::cold]] void ThrowInvalidEscape(QByteArrayView s, qsizetype at)
{
    // One pass over both arguments, so a "%1" in the quoted bytes stays as it is.
    throw Exception(u"Invalid URL encoded character (%1) at position %2"_s.arg(FromAnsi(s.sliced(at, 3)),
                                                                               QString::number(at + 1)));
}

} // namespace

QByteArray UrlEncode(QByteArrayView s)
{
    const auto* src = reinterpret_cast<const uint8_t*>(s.data());
    const qsizetype n = s.size();
    // Sized for the worst case, then cut to what was written.
    QByteArray out(n * 3, Qt::Uninitialized);
    char* dst = out.data();
    char* const begin = dst;
    for (qsizetype i = 0; i < n; ++i) {
        const uint8_t b = src[i];
        const uint8_t cls = kClass[b];
        if (cls == Copy) {
            *dst++ = char(b);
        } else if (cls == Encode) {
            dst[0] = '%';
            dst[1] = kDigits[b >> 4];
            dst[2] = kDigits[b & 15];
            dst += 3;
        } else if (cls == Blank) {
            *dst++ = '+';
        } else {
            break;
        }
    }
    out.truncate(dst - begin);
    return out;
}

QByteArray UrlDecode(QByteArrayView s)
{
    const auto* src = reinterpret_cast<const uint8_t*>(s.data());
    qsizetype n = s.size();
    if (const void* zero = n > 0 ? std::memchr(src, 0, std::size_t(n)) : nullptr)
        n = static_cast<const uint8_t*>(zero) - src;
    QByteArray out(n, Qt::Uninitialized);
    auto* dst = reinterpret_cast<uint8_t*>(out.data());
    auto* const begin = dst;
    qsizetype i = 0;
    while (i < n) {
        const uint8_t c = src[i];
        if (c != '%') {
            *dst++ = c == '+' ? ' ' : c;
            ++i;
            continue;
        }
        if (i + 1 < n && src[i + 1] == '%') {
            *dst++ = '%';
            i += 2;
            continue;
        }
        if (i + 2 >= n)
            ThrowTruncatedEscape(i);
        const int high = kHex[src[i + 1]];
        const int low = kHex[src[i + 2]];
        if ((high | low) < 0)
            ThrowInvalidEscape(s, i);
        *dst++ = uint8_t(high << 4 | low);
        i += 3;
    }
    out.truncate(dst - begin);
    return out;
}
