// Throughput of the text helpers against the usual alternatives, on the same input in the same run.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <benchmark/benchmark.h>
#include <boost/algorithm/string/replace.hpp>
#include <curl/curl.h>

#include "net/CodePage.h"
#include "net/HtmlDecode.h"
#include "net/StrRepl.h"
#include "net/UrlCode.h"

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kReplaceSize = qsizetype(64) << 20;
constexpr qsizetype kSmallSize = qsizetype(1) << 20;

// Windows-1251 "привет," in small and capital letters.
const QByteArray kPattern("\xEF\xF0\xE8\xE2\xE5\xF2,");
const QByteArray kPatternCaps("\xCF\xD0\xC8\xC2\xC5\xD2,");
const QByteArray kReplacement("\xE7\xE4\xF0\xE0\xE2\xF1\xF2\xE2\xF3\xE9!"); // "здравствуй!"

// Russian-looking words in Windows-1251 (many start with the pattern's first byte), the pattern
// once about every KiB.
QByteArray MakeAnsiText(qsizetype size)
{
    std::mt19937 rng(2024);
    QByteArray text;
    text.reserve(size + 64);
    qsizetype nextMatch = 512;
    while (text.size() < size) {
        if (text.size() >= nextMatch) {
            text += kPattern;
            text += ' ';
            nextMatch += 1024;
            continue;
        }
        const int len = 2 + int(rng() % 9);
        for (int i = 0; i < len; ++i)
            text += char(i == 0 && rng() % 4 == 0 ? 0xEF : 0xE0 + int(rng() % 32));
        text += rng() % 10 == 0 ? ", " : " ";
    }
    text.truncate(size);
    return text;
}

const QByteArray& AnsiText()
{
    static const QByteArray text = MakeAnsiText(kReplaceSize);
    return text;
}

const std::string& StdText()
{
    static const std::string text(AnsiText().constData(), std::size_t(AnsiText().size()));
    return text;
}

const QString& WideText()
{
    static const QString text = FromAnsi(AnsiText());
    return text;
}

unsigned char Fold(unsigned char c)
{
    return (c >= 0x41 && c <= 0x5A) || (c >= 0xC0 && c <= 0xDF) ? static_cast<unsigned char>(c + 0x20) : c;
}

std::string StdReplaceAll(const std::string& s, const std::string& from, const std::string& to)
{
    std::string out;
    std::size_t copied = 0;
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + from.size())) {
        out.append(s, copied, at - copied);
        out.append(to);
        copied = at + from.size();
    }
    out.append(s, copied, std::string::npos);
    return out;
}

std::string StdFoldReplaceAll(const std::string& s, const std::string& from, const std::string& to)
{
    auto same = [](char a, char b) {
        return Fold(static_cast<unsigned char>(a)) == Fold(static_cast<unsigned char>(b));
    };
    std::string out;
    auto copied = s.begin();
    for (auto at = std::search(s.begin(), s.end(), from.begin(), from.end(), same); at != s.end();
         at = std::search(at + std::ptrdiff_t(from.size()), s.end(), from.begin(), from.end(), same)) {
        out.append(copied, at);
        out.append(to);
        copied = at + std::ptrdiff_t(from.size());
    }
    out.append(copied, s.end());
    return out;
}

void SetReplaceBytes(benchmark::State& state)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * kReplaceSize);
}

void BM_Replace_Memcpy(benchmark::State& state)
{
    const QByteArray& text = AnsiText();
    for (auto _ : state) {
        std::unique_ptr<char[]> copy(new char[std::size_t(text.size())]);
        std::memcpy(copy.get(), text.constData(), std::size_t(text.size()));
        benchmark::DoNotOptimize(copy.get());
        benchmark::ClobberMemory();
    }
    SetReplaceBytes(state);
}

// The copy alone, into a buffer that is already mapped: what is left once allocation is free.
void BM_Replace_MemcpyReused(benchmark::State& state)
{
    const QByteArray& text = AnsiText();
    std::unique_ptr<char[]> copy(new char[std::size_t(text.size())]);
    for (auto _ : state) {
        std::memcpy(copy.get(), text.constData(), std::size_t(text.size()));
        benchmark::DoNotOptimize(copy.get());
        benchmark::ClobberMemory();
    }
    SetReplaceBytes(state);
}

void BM_Replace_FastReplaceAnsi(benchmark::State& state)
{
    const bool cs = state.range(0) != 0;
    const QByteArray& old = cs ? kPattern : kPatternCaps;
    for (auto _ : state)
        benchmark::DoNotOptimize(FastReplaceAnsi(AnsiText(), old, kReplacement, cs));
    SetReplaceBytes(state);
}

void BM_Replace_FastReplaceText(benchmark::State& state)
{
    const bool cs = state.range(0) != 0;
    const QString old = FromAnsi(cs ? kPattern : kPatternCaps);
    const QString now = FromAnsi(kReplacement);
    for (auto _ : state)
        benchmark::DoNotOptimize(FastReplace(WideText(), old, now, cs));
    SetReplaceBytes(state);
}

void BM_Replace_StdFindAppend(benchmark::State& state)
{
    const bool cs = state.range(0) != 0;
    const std::string old = (cs ? kPattern : kPatternCaps).toStdString();
    const std::string now = kReplacement.toStdString();
    for (auto _ : state)
        benchmark::DoNotOptimize(cs ? StdReplaceAll(StdText(), old, now)
                                    : StdFoldReplaceAll(StdText(), old, now));
    SetReplaceBytes(state);
}

void BM_Replace_Boost(benchmark::State& state)
{
    const bool cs = state.range(0) != 0;
    // ireplace folds through the C locale, which knows no Cyrillic: the lower-case pattern keeps the
    // match count equal.
    const std::string old = kPattern.toStdString();
    const std::string now = kReplacement.toStdString();
    for (auto _ : state) {
        if (cs)
            benchmark::DoNotOptimize(boost::algorithm::replace_all_copy(StdText(), old, now));
        else
            benchmark::DoNotOptimize(boost::algorithm::ireplace_all_copy(StdText(), old, now));
    }
    SetReplaceBytes(state);
}

// Status-like input: Cyrillic UTF-8 with Latin, digits, blanks and punctuation.
QByteArray MakeUtf8Status(qsizetype size)
{
    const QByteArray piece = u"Привет, мир! Status #42: всё хорошо (да) & <b>ok</b> 100% "_s.toUtf8();
    QByteArray out;
    while (out.size() < size)
        out += piece;
    out.truncate(size);
    return out;
}

const QByteArray& Utf8Status()
{
    static const QByteArray text = MakeUtf8Status(kSmallSize);
    return text;
}

const QByteArray& Encoded()
{
    static const QByteArray text = UrlEncode(Utf8Status());
    return text;
}

struct CurlEasy
{
    CURL* handle = curl_easy_init();
    ~CurlEasy() { curl_easy_cleanup(handle); }
};

void BM_UrlEncode_Ours(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(UrlEncode(Utf8Status()));
    state.SetBytesProcessed(int64_t(state.iterations()) * kSmallSize);
}

void BM_UrlEncode_Curl(benchmark::State& state)
{
    CurlEasy curl;
    for (auto _ : state) {
        char* out = curl_easy_escape(curl.handle, Utf8Status().constData(), int(Utf8Status().size()));
        benchmark::DoNotOptimize(out);
        curl_free(out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kSmallSize);
}

void BM_UrlEncode_QUrl(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(QUrl::toPercentEncoding(QString::fromUtf8(Utf8Status())));
    state.SetBytesProcessed(int64_t(state.iterations()) * kSmallSize);
}

// QUrl's encoder takes text; this variant leaves out the UTF-8 decoding it needs first.
void BM_UrlEncode_QByteArrayPercent(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Utf8Status().toPercentEncoding());
    state.SetBytesProcessed(int64_t(state.iterations()) * kSmallSize);
}

void BM_UrlDecode_Ours(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(UrlDecode(Encoded()));
    state.SetBytesProcessed(int64_t(state.iterations()) * Encoded().size());
}

void BM_UrlDecode_Curl(benchmark::State& state)
{
    CurlEasy curl;
    for (auto _ : state) {
        int length = 0;
        char* out = curl_easy_unescape(curl.handle, Encoded().constData(), int(Encoded().size()), &length);
        benchmark::DoNotOptimize(out);
        curl_free(out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * Encoded().size());
}

void BM_UrlDecode_QUrl(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(QUrl::fromPercentEncoding(Encoded()));
    state.SetBytesProcessed(int64_t(state.iterations()) * Encoded().size());
}

void BM_UrlDecode_QByteArrayPercent(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(QByteArray::fromPercentEncoding(Encoded()));
    state.SetBytesProcessed(int64_t(state.iterations()) * Encoded().size());
}

void BM_ToAnsi(benchmark::State& state)
{
    const QString text = QString::fromUtf8(Utf8Status());
    for (auto _ : state)
        benchmark::DoNotOptimize(ToAnsi(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size() * 2);
}

void BM_FromAnsi(benchmark::State& state)
{
    const QByteArray bytes = ToAnsi(QString::fromUtf8(Utf8Status()));
    for (auto _ : state)
        benchmark::DoNotOptimize(FromAnsi(bytes));
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

// The same sizes through Qt's Latin-1 converters, the simplest 8-bit code page there is.
void BM_ToLatin1(benchmark::State& state)
{
    const QString text = QString::fromUtf8(Utf8Status());
    for (auto _ : state)
        benchmark::DoNotOptimize(text.toLatin1());
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size() * 2);
}

void BM_FromLatin1(benchmark::State& state)
{
    const QByteArray bytes = ToAnsi(QString::fromUtf8(Utf8Status()));
    for (auto _ : state)
        benchmark::DoNotOptimize(QString::fromLatin1(bytes));
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

void BM_HtmlDecode_Status(benchmark::State& state)
{
    const QString piece = u"&lt;b&gt;Привет&nbsp;мир&#33; &quot;всё&quot; &amp; &#1055;&#x41; AT&T ok; "_s;
    QString text;
    while (text.size() * 2 < kSmallSize)
        text += piece;
    text.truncate(kSmallSize / 2);
    for (auto _ : state)
        benchmark::DoNotOptimize(HtmlDecode(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * kSmallSize);
}

void BM_HtmlDecode_Ampersands(benchmark::State& state)
{
    const QString text(kSmallSize / 2, u'&');
    for (auto _ : state)
        benchmark::DoNotOptimize(HtmlDecode(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * kSmallSize);
}

} // namespace

BENCHMARK(BM_Replace_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Replace_MemcpyReused)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Replace_FastReplaceAnsi)->ArgName("cs")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Replace_FastReplaceText)->ArgName("cs")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Replace_StdFindAppend)->ArgName("cs")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Replace_Boost)->ArgName("cs")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UrlEncode_Ours);
BENCHMARK(BM_UrlEncode_Curl);
BENCHMARK(BM_UrlEncode_QUrl);
BENCHMARK(BM_UrlEncode_QByteArrayPercent);
BENCHMARK(BM_UrlDecode_Ours);
BENCHMARK(BM_UrlDecode_Curl);
BENCHMARK(BM_UrlDecode_QUrl);
BENCHMARK(BM_UrlDecode_QByteArrayPercent);
BENCHMARK(BM_ToAnsi);
BENCHMARK(BM_FromAnsi);
BENCHMARK(BM_ToLatin1);
BENCHMARK(BM_FromLatin1);
BENCHMARK(BM_HtmlDecode_Status);
BENCHMARK(BM_HtmlDecode_Ampersands);

int main(int argc, char** argv)
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    // Build the inputs before any timing, and check that the baselines do the same work.
    WideText();
    const std::string ours = FastReplaceAnsi(AnsiText(), kPattern, kReplacement, true).toStdString();
    const std::string oursFolded =
        FastReplaceAnsi(AnsiText(), kPatternCaps, kReplacement, false).toStdString();
    const std::string now = kReplacement.toStdString();
    if (ours != StdReplaceAll(StdText(), kPattern.toStdString(), now) ||
        oursFolded != StdFoldReplaceAll(StdText(), kPatternCaps.toStdString(), now) ||
        ours != boost::algorithm::replace_all_copy(StdText(), kPattern.toStdString(), now)) {
        std::fprintf(stderr, "replacement results differ from the baselines\n");
        return 1;
    }
    std::fprintf(stderr, "%lld bytes, %lld matches\n", static_cast<long long>(AnsiText().size()),
                 static_cast<long long>((qsizetype(ours.size()) - AnsiText().size()) /
                                        (kReplacement.size() - kPattern.size())));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
