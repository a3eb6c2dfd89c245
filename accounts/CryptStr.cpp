#include "accounts/CryptStr.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "net/CodePage.h"
#include "net/Exception.h"

using namespace Qt::StringLiterals;

namespace {

// Token n stands for the decimal number n. The letter order is the program's fixed key: files
// written with another order decode to other text.
constexpr char kTokens[] = "qwertyuiopasdfghjklzxcvbnm";
static_assert(sizeof(kTokens) == 27);

// Fills the slot of a digit that a two-digit token has absorbed. It is neither digit nor letter,
// so no pattern matches it, and a digit never becomes adjacent to another one through it: the
// slot always sits right after the token letter that replaced the pair.
constexpr char kGone = '\0';

// The pass for a two-digit number whose digits differ: its occurrences can never overlap, so the
// left-to-right replace-all equals replacing every occurrence found in the text before the pass,
// a stencil over the byte before, the byte itself and the byte after. It works in place, keeping
// the original of the byte before, since that one has already been overwritten.
void ReplaceDistinctPair(char* buf, size_t size, char a, char b, char token)
{
    size_t i = 0;
    char before = kGone;
#if defined(__SSE2__)
    static_assert(kGone == 0, "the vector code clears a gone slot with and-not");
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b), vt = _mm_set1_epi8(token);
    __m128i last = _mm_setzero_si128();
    for (; i + 17 <= size; i += 16) {
        const __m128i cur = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + i + 1));
        const __m128i prev = _mm_or_si128(_mm_slli_si128(cur, 1), _mm_srli_si128(last, 15));
        const __m128i starts = _mm_and_si128(_mm_cmpeq_epi8(cur, va), _mm_cmpeq_epi8(next, vb));
        const __m128i ends = _mm_and_si128(_mm_cmpeq_epi8(prev, va), _mm_cmpeq_epi8(cur, vb));
        const __m128i kept = _mm_andnot_si128(ends, cur);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(buf + i),
                         _mm_or_si128(_mm_andnot_si128(starts, kept), _mm_and_si128(starts, vt)));
        last = cur;
    }
    before = char(_mm_cvtsi128_si32(_mm_srli_si128(last, 15)));
#endif
    for (; i < size; ++i) {
        const char c = buf[i];
        const char after = i + 1 < size ? buf[i + 1] : kGone;
        buf[i] = (c == a && after == b) ? token : (before == a && c == b) ? kGone : c;
        before = c;
    }
}

// The pass for 11 or 22: a run of that digit is paired from its left end, an odd one keeps its
// last digit.
void ReplaceEqualPair(char* buf, size_t size, char digit, char token)
{
    char* p = buf;
    char* const end = buf + size;
    while (p < end) {
        p = static_cast<char*>(std::memchr(p, digit, size_t(end - p)));
        if (!p)
            return;
        while (p + 1 < end && p[0] == digit && p[1] == digit) {
            p[0] = token;
            p[1] = kGone;
            p += 2;
        }
        ++p;
    }
}

struct DecodeEntry
{
    uint8_t length = 0; // 0: not valid scrambled text
    char digits[2] = {};
};

constexpr std::array<DecodeEntry, 256> MakeDecodeTable()
{
    std::array<DecodeEntry, 256> t{};
    for (int c = '0'; c <= '9'; ++c)
        t[size_t(c)] = {1, {char(c), 0}};
    for (int n = 0; n < 26; ++n) {
        const DecodeEntry e = n < 10 ? DecodeEntry{1, {char('0' + n), 0}}
                                     : DecodeEntry{2, {char('0' + n / 10), char('0' + n % 10)}};
        t[uint8_t(kTokens[n])] = e;
        t[uint8_t(kTokens[n] - 'a' + 'A')] = e;
    }
    return t;
}
constexpr std::array<DecodeEntry, 256> kDecode = MakeDecodeTable();

constexpr std::array<std::array<char, 4>, 256> MakeGroups()
{
    std::array<std::array<char, 4>, 256> t{};
    for (int v = 0; v < 256; ++v)
        t[size_t(v)] = {char('0' + v / 100), char('0' + v / 10 % 10), char('0' + v % 10), 0};
    return t;
}
constexpr std::array<std::array<char, 4>, 256> kGroups = MakeGroups();

constexpr std::array<char, 256> MakeFinish()
{
    std::array<char, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[size_t(c)] = char(c);
    for (int d = 0; d < 10; ++d)
        t[size_t('0' + d)] = kTokens[d];
    return t;
}
constexpr std::array<char, 256> kFinish = MakeFinish();

} // namespace

QByteArray ScrambleAnsi(QByteArrayView bytes)
{
    const qsizetype size = bytes.size() * 3;
    if (size == 0)
        return {};
    // The passes run in the result's own buffer, which then shrinks in place. One spare byte:
    // each group is stored as four bytes, the fourth overwritten by the next group.
    QByteArray out(size + 1, Qt::Uninitialized);
    char* const buf = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        std::memcpy(buf + i * 3, kGroups[uint8_t(bytes[i])].data(), 4);
    // The passes for 25 down to 10, in that order, since the order decides which of two
    // overlapping numbers wins (the one across a group border included).
    for (int n = 25; n >= 10; --n) {
        const char hi = char('0' + n / 10), lo = char('0' + n % 10);
        if (hi == lo)
            ReplaceEqualPair(buf, size_t(size), hi, kTokens[n]);
        else
            ReplaceDistinctPair(buf, size_t(size), hi, lo, kTokens[n]);
    }
    // The passes for 9 down to 0 replace every digit left, each by its own token.
    qsizetype j = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = buf[i];
        buf[j] = kFinish[uint8_t(c)];
        j += c != kGone;
    }
    out.truncate(j);
    return out;
}

namespace {

// Tokens back to numbers; letter case does not matter, digits stand for themselves, and anything
// else leaves a group that is no decimal number. Takes 8-bit or UTF-16 code units.
template <typename Unit> std::optional<QByteArray> UnscrambleUnits(const Unit* units, qsizetype count)
{
    // The number of digits decides how many "0"s go in front, so they are counted first.
    qsizetype digits = 0;
    for (qsizetype k = 0; k < count; ++k) {
        const auto unit = std::make_unsigned_t<Unit>(units[k]);
        if (unit > 0xFF || kDecode[unit].length == 0)
            return std::nullopt;
        digits += kDecode[unit].length;
    }
    const int pad = int((3 - digits % 3) % 3);
    QByteArray out((digits + pad) / 3, Qt::Uninitialized);
    char* o = out.data();
    // Digits gather in a small buffer that is cut into groups whenever it fills; a group cut in
    // two by that moves to the front.
    constexpr qsizetype kChunk = 3 * 1024;
    char d[kChunk + 2];
    qsizetype have = pad;
    std::memset(d, '0', size_t(pad));
    auto flush = [&] {
        const qsizetype whole = have - have % 3;
        for (qsizetype i = 0; i < whole; i += 3)
            // The low 8 bits of a group up to 999 are the byte.
            *o++ = char(uint8_t((d[i] - '0') * 100 + (d[i + 1] - '0') * 10 + (d[i + 2] - '0')));
        std::memmove(d, d + whole, size_t(have - whole));
        have -= whole;
    };
    for (qsizetype k = 0; k < count; ++k) {
        const DecodeEntry& e = kDecode[std::make_unsigned_t<Unit>(units[k])];
        d[have] = e.digits[0];
        d[have + 1] = e.digits[1];
        have += e.length;
        if (have >= kChunk)
            flush();
    }
    flush();
    return out;
}

} // namespace

std::optional<QByteArray> UnscrambleAnsi(QByteArrayView scrambled)
{
    return UnscrambleUnits(scrambled.data(), scrambled.size());
}

QString Scramble(const QString& text)
{
    return QString::fromLatin1(ScrambleAnsi(ToAnsi(text)));
}

std::optional<QString> TryUnscramble(const QString& text)
{
    const std::optional<QByteArray> bytes = UnscrambleUnits(text.utf16(), text.size());
    if (!bytes)
        return std::nullopt;
    return FromAnsi(*bytes);
}

QString Unscramble(const QString& text)
{
    std::optional<QString> result = TryUnscramble(text);
    if (!result)
        throw Exception(u"Повреждённая зашифрованная строка"_s);
    return *std::move(result);
}
