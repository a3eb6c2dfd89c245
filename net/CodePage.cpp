#include "net/CodePage.h"

#include <array>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Windows-1251, bytes 0x80 to 0xFF. 0x98 is undefined there; mapping it to U+0098 keeps every byte
// value alive through a round trip.
constexpr std::array<char16_t, 128> kHigh = {
    u'\u0402', u'\u0403', u'\u201A', u'\u0453', u'\u201E', u'\u2026', u'\u2020', u'\u2021', //
    u'\u20AC', u'\u2030', u'\u0409', u'\u2039', u'\u040A', u'\u040C', u'\u040B', u'\u040F', //
    u'\u0452', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014', //
    u'\u0098', u'\u2122', u'\u0459', u'\u203A', u'\u045A', u'\u045C', u'\u045B', u'\u045F', //
    u'\u00A0', u'\u040E', u'\u045E', u'\u0408', u'\u00A4', u'\u0490', u'\u00A6', u'\u00A7', //
    u'\u0401', u'\u00A9', u'\u0404', u'\u00AB', u'\u00AC', u'\u00AD', u'\u00AE', u'\u0407', //
    u'\u00B0', u'\u00B1', u'\u0406', u'\u0456', u'\u0491', u'\u00B5', u'\u00B6', u'\u00B7', //
    u'\u0451', u'\u2116', u'\u0454', u'\u00BB', u'\u0458', u'\u0405', u'\u0455', u'\u0457', //
    u'\u0410', u'\u0411', u'\u0412', u'\u0413', u'\u0414', u'\u0415', u'\u0416', u'\u0417', //
    u'\u0418', u'\u0419', u'\u041A', u'\u041B', u'\u041C', u'\u041D', u'\u041E', u'\u041F', //
    u'\u0420', u'\u0421', u'\u0422', u'\u0423', u'\u0424', u'\u0425', u'\u0426', u'\u0427', //
    u'\u0428', u'\u0429', u'\u042A', u'\u042B', u'\u042C', u'\u042D', u'\u042E', u'\u042F', //
    u'\u0430', u'\u0431', u'\u0432', u'\u0433', u'\u0434', u'\u0435', u'\u0436', u'\u0437', //
    u'\u0438', u'\u0439', u'\u043A', u'\u043B', u'\u043C', u'\u043D', u'\u043E', u'\u043F', //
    u'\u0440', u'\u0441', u'\u0442', u'\u0443', u'\u0444', u'\u0445', u'\u0446', u'\u0447', //
    u'\u0448', u'\u0449', u'\u044A', u'\u044B', u'\u044C', u'\u044D', u'\u044E', u'\u044F', //
};

constexpr std::array<char16_t, 256> MakeForward()
{
    std::array<char16_t, 256> t{};
    for (int b = 0; b < 128; ++b)
        t[b] = char16_t(b);
    for (int b = 0; b < 128; ++b)
        t[128 + b] = kHigh[b];
    return t;
}
constexpr std::array<char16_t, 256> kForward = MakeForward();

// The reverse direction as a two-level table over the four 256-code pages the high half uses; a
// few KiB that stay in cache, where a flat 64K table would not.
constexpr std::array<uint8_t, 4> kPageNumbers = {0x00, 0x04, 0x20, 0x21};

struct Reverse
{
    std::array<int8_t, 256> slotOfPage{};
    std::array<std::array<uint8_t, 256>, kPageNumbers.size()> pages{};
};

constexpr Reverse MakeReverse()
{
    Reverse r;
    for (auto& s : r.slotOfPage)
        s = -1;
    for (std::size_t i = 0; i < kPageNumbers.size(); ++i) {
        r.slotOfPage[kPageNumbers[i]] = int8_t(i);
        for (auto& b : r.pages[i])
            b = '?';
    }
    for (int b = 255; b >= 0; --b) {
        const char16_t c = kForward[b];
        r.pages[std::size_t(r.slotOfPage[c >> 8])][c & 0xFF] = uint8_t(b);
    }
    return r;
}
constexpr Reverse kReverse = MakeReverse();

inline uint8_t ToByte(char16_t c)
{
    const int8_t slot = kReverse.slotOfPage[c >> 8];
    return slot < 0 ? uint8_t('?') : kReverse.pages[std::size_t(slot)][c & 0xFF];
}

inline bool IsHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
inline bool IsLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

#if defined(__SSE2__)
// Eight code units that are all ASCII or basic Cyrillic (U+0410 to U+044F, a fixed offset from
// their bytes) are converted together; anything else falls back to the tables.
inline bool ToAnsiBlock(__m128i v, __m128i& bytes)
{
    const __m128i bias = _mm_set1_epi16(int16_t(0x8000));
    const __m128i ascii = _mm_cmplt_epi16(_mm_xor_si128(v, bias), _mm_set1_epi16(int16_t(0x0080 ^ 0x8000)));
    const __m128i cyrillic = _mm_cmplt_epi16(_mm_xor_si128(_mm_sub_epi16(v, _mm_set1_epi16(0x0410)), bias),
                                             _mm_set1_epi16(int16_t(0x0040 ^ 0x8000)));
    if (_mm_movemask_epi8(_mm_or_si128(ascii, cyrillic)) != 0xFFFF)
        return false;
    bytes = _mm_sub_epi16(v, _mm_and_si128(cyrillic, _mm_set1_epi16(0x0350)));
    return true;
}
#endif

} // namespace

QByteArray ToAnsi(QStringView text)
{
    const qsizetype n = text.size();
    QByteArray out(n, Qt::Uninitialized);
    const char16_t* src = text.utf16();
    char* dst = out.data();
    qsizetype i = 0;
    qsizetype o = 0;
    while (i < n) {
#if defined(__SSE2__)
        while (i + 16 <= n) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
            if (!ToAnsiBlock(a, a) || !ToAnsiBlock(b, b))
                break;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + o), _mm_packus_epi16(a, b));
            i += 16;
            o += 16;
        }
        // One unit by the tables, then back to blocks.
        if (i >= n)
            break;
#endif
        const char16_t c = src[i++];
        if (c < 0x80) {
            dst[o++] = char(c);
        } else if (c >= 0x0410 && c <= 0x044F) {
            dst[o++] = char(c - 0x0350);
        } else if (IsHighSurrogate(c)) {
            // One character outside the table, one "?", even when it takes two code units.
            if (i < n && IsLowSurrogate(src[i]))
                ++i;
            dst[o++] = '?';
        } else {
            dst[o++] = char(ToByte(c));
        }
    }
    if (o != n)
        out.truncate(o);
    return out;
}

QString FromAnsi(QByteArrayView bytes)
{
    const qsizetype n = bytes.size();
    QString out(n, Qt::Uninitialized);
    const auto* src = reinterpret_cast<const uint8_t*>(bytes.data());
    auto* dst = reinterpret_cast<char16_t*>(out.data());
    qsizetype i = 0;
#if defined(__SSE2__)
    // Blocks without bytes 0x80 to 0xBF hold only ASCII and basic Cyrillic, a fixed offset apart.
    const __m128i zero = _mm_setzero_si128();
    const __m128i offset = _mm_set1_epi16(0x0350);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        if (_mm_movemask_epi8(_mm_cmplt_epi8(v, _mm_set1_epi8(-64))) != 0) {
            for (qsizetype k = i; k < i + 16; ++k)
                dst[k] = kForward[src[k]];
            continue;
        }
        const __m128i high = _mm_cmplt_epi8(v, zero);
        const __m128i lo =
            _mm_add_epi16(_mm_unpacklo_epi8(v, zero), _mm_and_si128(_mm_unpacklo_epi8(high, high), offset));
        const __m128i hi =
            _mm_add_epi16(_mm_unpackhi_epi8(v, zero), _mm_and_si128(_mm_unpackhi_epi8(high, high), offset));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 8), hi);
    }
#endif
    for (; i < n; ++i)
        dst[i] = kForward[src[i]];
    return out;
}
