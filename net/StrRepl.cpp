#include "net/StrRepl.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "net/CodePage.h"

namespace {

// A-Z and the capital Cyrillic letters of Windows-1251 fold onto their small forms; nothing else
// folds (not even 0xA8 onto 0xB8).
constexpr std::array<uint8_t, 256> MakeFold()
{
    std::array<uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[b] = uint8_t((b >= 0x41 && b <= 0x5A) || (b >= 0xC0 && b <= 0xDF) ? b + 0x20 : b);
    return t;
}
constexpr std::array<uint8_t, 256> kFold = MakeFold();

// The other byte that folds onto a folded byte, or the byte itself when there is none.
constexpr uint8_t UnfoldPartner(uint8_t folded)
{
    return (folded >= 0x61 && folded <= 0x7A) || folded >= 0xE0 ? uint8_t(folded - 0x20) : folded;
}

template <bool Fold> inline bool Same(uint8_t a, uint8_t b)
{
    if constexpr (Fold)
        return kFold[a] == kFold[b];
    else
        return a == b;
}

// Compares the pattern's inner bytes (its first and last are known to match), two at a time from
// the end towards the start.
template <bool Fold> inline bool InnerEqual(const uint8_t* s, const uint8_t* p, qsizetype m)
{
    if constexpr (!Fold) {
        return m <= 2 || std::memcmp(s + 1, p + 1, std::size_t(m - 2)) == 0;
    } else {
        qsizetype k = m - 2;
        for (; k >= 2; k -= 2) {
            if (kFold[s[k]] != kFold[p[k]] || kFold[s[k - 1]] != kFold[p[k - 1]])
                return false;
        }
        return k < 1 || kFold[s[1]] == kFold[p[1]];
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
#define QUILLBOX_FIND_AVX2 1

bool HasAvx2()
{
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return has;
}

// The candidate scan of Find over 32 positions at once, for processors that have AVX2. Moves i
// past the positions it has ruled out.
template <bool Fold>
__attribute__((target("avx2"))) qsizetype FindAvx2(const uint8_t* s, qsizetype n, const uint8_t* p,
                                                   qsizetype m, qsizetype& i)
{
    const uint8_t first = Fold ? kFold[p[0]] : p[0];
    const uint8_t last = Fold ? kFold[p[m - 1]] : p[m - 1];
    const __m256i vFirst = _mm256_set1_epi8(char(first));
    const __m256i vLast = _mm256_set1_epi8(char(last));
    const __m256i vFirst2 = _mm256_set1_epi8(char(UnfoldPartner(first)));
    const __m256i vLast2 = _mm256_set1_epi8(char(UnfoldPartner(last)));
    for (; i + m - 1 + 32 <= n; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + m - 1));
        __m256i ea = _mm256_cmpeq_epi8(a, vFirst);
        __m256i eb = _mm256_cmpeq_epi8(b, vLast);
        if constexpr (Fold) {
            ea = _mm256_or_si256(ea, _mm256_cmpeq_epi8(a, vFirst2));
            eb = _mm256_or_si256(eb, _mm256_cmpeq_epi8(b, vLast2));
        }
        unsigned mask = unsigned(_mm256_movemask_epi8(_mm256_and_si256(ea, eb)));
        while (mask != 0) {
            const qsizetype at = i + __builtin_ctz(mask);
            if (InnerEqual<Fold>(s + at, p, m))
                return at;
            mask &= mask - 1;
        }
    }
    return -1;
}
#endif

// Index of the first occurrence of p in s at or after from, or -1. Candidates are found by
// matching the pattern's first and last byte over sixteen (or 32) positions at once; only they
// get the full comparison.
template <bool Fold>
qsizetype Find(const uint8_t* s, qsizetype n, const uint8_t* p, qsizetype m, qsizetype from)
{
    if (m <= 0 || from < 0 || from > n - m)
        return -1;
    qsizetype i = from;
#if defined(QUILLBOX_FIND_AVX2)
    if (HasAvx2()) {
        const qsizetype at = FindAvx2<Fold>(s, n, p, m, i);
        if (at >= 0)
            return at;
    }
#endif
#if defined(__SSE2__)
    const uint8_t first = Fold ? kFold[p[0]] : p[0];
    const uint8_t last = Fold ? kFold[p[m - 1]] : p[m - 1];
    const __m128i vFirst = _mm_set1_epi8(char(first));
    const __m128i vLast = _mm_set1_epi8(char(last));
    const __m128i vFirst2 = _mm_set1_epi8(char(UnfoldPartner(first)));
    const __m128i vLast2 = _mm_set1_epi8(char(UnfoldPartner(last)));
    for (; i + m - 1 + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + m - 1));
        __m128i ea = _mm_cmpeq_epi8(a, vFirst);
        __m128i eb = _mm_cmpeq_epi8(b, vLast);
        if constexpr (Fold) {
            ea = _mm_or_si128(ea, _mm_cmpeq_epi8(a, vFirst2));
            eb = _mm_or_si128(eb, _mm_cmpeq_epi8(b, vLast2));
        }
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(ea, eb)));
        while (mask != 0) {
            const qsizetype at = i + __builtin_ctz(mask);
            if (InnerEqual<Fold>(s + at, p, m))
                return at;
            mask &= mask - 1;
        }
    }
#endif
    for (; i <= n - m; ++i) {
        if (Same<Fold>(s[i], p[0]) && Same<Fold>(s[i + m - 1], p[m - 1]) && InnerEqual<Fold>(s + i, p, m))
            return i;
    }
    return -1;
}

qsizetype FindFrom(const QByteArray& s, const QByteArray& p, qsizetype from, bool caseSensitive)
{
    const auto* sd = reinterpret_cast<const uint8_t*>(s.constData());
    const auto* pd = reinterpret_cast<const uint8_t*>(p.constData());
    return caseSensitive ? Find<false>(sd, s.size(), pd, p.size(), from)
                         : Find<true>(sd, s.size(), pd, p.size(), from);
}

} // namespace

int FastPos(const QByteArray& Sub, const QByteArray& S, int Start, bool CaseSensitive)
{
    if (Sub.isEmpty() || S.isEmpty())
        return 0;
    const qsizetype from = Start < 1 ? 0 : qsizetype(Start) - 1;
    const qsizetype at = FindFrom(S, Sub, from, CaseSensitive);
    return at < 0 ? 0 : int(at + 1);
}

void FastCharReplace(QByteArray& S, char From, char To, bool CaseSensitive)
{
    if (S.isEmpty())
        return;
    auto* d = reinterpret_cast<uint8_t*>(S.data());
    const qsizetype n = S.size();
    const auto to = uint8_t(To);
    if (CaseSensitive) {
        const auto from = uint8_t(From);
        for (qsizetype i = 0; i < n; ++i)
            d[i] = d[i] == from ? to : d[i];
    } else {
        const uint8_t from = kFold[uint8_t(From)];
        const uint8_t partner = UnfoldPartner(from);
        for (qsizetype i = 0; i < n; ++i)
            d[i] = d[i] == from || d[i] == partner ? to : d[i];
    }
}

QByteArray FastReplaceAnsi(const QByteArray& S, const QByteArray& Old, const QByteArray& New,
                           bool CaseSensitive)
{
    if (S.isEmpty() || Old.isEmpty())
        return S;
    if (Old.size() == 1 && New.size() == 1) {
        QByteArray result = S;
        FastCharReplace(result, Old[0], New[0], CaseSensitive);
        return result;
    }

    // Occurrences never overlap: each search starts right after the previous match. The first
    // ones are remembered for the copy; past that the copy searches again, so a text full of
    // matches needs no position list larger than the text.
    constexpr std::size_t kRemembered = std::size_t(1) << 16;
    std::vector<qsizetype> starts;
    qsizetype count = 0;
    for (qsizetype at = FindFrom(S, Old, 0, CaseSensitive); at >= 0;
         at = FindFrom(S, Old, at + Old.size(), CaseSensitive)) {
        if (starts.size() < kRemembered)
            starts.push_back(at);
        ++count;
    }
    if (count == 0)
        return S;

    const qsizetype length = S.size() + count * (New.size() - Old.size());
    if (length == 0)
        return QByteArray();
    QByteArray result(length, Qt::Uninitialized);
    char* out = result.data();
    const char* src = S.constData();
    qsizetype copied = 0;
    auto put = [&](qsizetype at) {
        std::memcpy(out, src + copied, std::size_t(at - copied));
        out += at - copied;
        if (!New.isEmpty()) {
            std::memcpy(out, New.constData(), std::size_t(New.size()));
            out += New.size();
        }
        copied = at + Old.size();
    };
    for (const qsizetype at : starts)
        put(at);
    if (count > qsizetype(starts.size())) {
        for (qsizetype at = FindFrom(S, Old, copied, CaseSensitive); at >= 0;
             at = FindFrom(S, Old, at + Old.size(), CaseSensitive))
            put(at);
    }
    std::memcpy(out, src + copied, std::size_t(S.size() - copied));
    return result;
}

QString FastReplace(const QString& S, const QString& Old, const QString& New, bool CaseSensitive)
{
    return FromAnsi(FastReplaceAnsi(ToAnsi(S), ToAnsi(Old), ToAnsi(New), CaseSensitive));
}
