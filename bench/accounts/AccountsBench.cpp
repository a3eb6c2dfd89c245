// Scrambler throughput on 1 MiB and the account store with 100,000 accounts.
#include <random>

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "accounts/Accounts.h"
#include "accounts/CryptStr.h"
#include "net/CodePage.h"
#include "settings/uOptions.h"

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kMiB = 1 << 20;

// Russian status-like text in Windows-1251, or every byte value at random.
QByteArray Input(bool text)
{
    QByteArray bytes;
    bytes.reserve(kMiB);
    if (text) {
        const QByteArray line =
            ToAnsi(u"Жизнь — это то, что с тобой происходит, пока ты строишь планы. 2024!\r\n"_s);
        while (bytes.size() < kMiB)
            bytes += line;
    } else {
        std::mt19937 random(7);
        while (bytes.size() < kMiB)
            bytes += char(random() & 0xFF);
    }
    bytes.truncate(kMiB);
    return bytes;
}

// The passes written as literally as they are defined, for comparison.
QByteArray LiteralScramble(const QByteArray& bytes)
{
    static const char tokens[] = "qwertyuiopasdfghjklzxcvbnm";
    QByteArray d;
    d.reserve(bytes.size() * 3);
    for (const char c : bytes)
        d += QByteArray::number(uint8_t(c)).rightJustified(3, '0');
    for (int n = 25; n >= 0; --n)
        d.replace(QByteArray::number(n), QByteArray(1, tokens[n]));
    return d;
}

void BM_ScrambleAnsi(benchmark::State& state)
{
    const QByteArray input = Input(state.range(0) != 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(ScrambleAnsi(input));
    state.SetBytesProcessed(state.iterations() * input.size());
}
BENCHMARK(BM_ScrambleAnsi)->ArgName("text")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_UnscrambleAnsi(benchmark::State& state)
{
    const QByteArray input = Input(state.range(0) != 0);
    const QByteArray scrambled = ScrambleAnsi(input);
    for (auto _ : state)
        benchmark::DoNotOptimize(UnscrambleAnsi(scrambled));
    // Counted in clear bytes, so the figures of both directions compare.
    state.SetBytesProcessed(state.iterations() * input.size());
}
BENCHMARK(BM_UnscrambleAnsi)->ArgName("text")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The whole round trip on text, from QString to QString.
void BM_ScrambleUnscramble(benchmark::State& state)
{
    const QString input = FromAnsi(Input(state.range(0) != 0));
    for (auto _ : state) {
        const QString back = Unscramble(Scramble(input));
        if (back.size() != input.size())
            state.SkipWithError("round trip lost text");
        benchmark::DoNotOptimize(back);
    }
    state.SetBytesProcessed(state.iterations() * kMiB);
}
BENCHMARK(BM_ScrambleUnscramble)->ArgName("text")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_LiteralScramble(benchmark::State& state)
{
    const QByteArray input = Input(true);
    for (auto _ : state)
        benchmark::DoNotOptimize(LiteralScramble(input));
    state.SetBytesProcessed(state.iterations() * input.size());
}
BENCHMARK(BM_LiteralScramble)->Unit(benchmark::kMillisecond);

// 100,000 accounts: one LoadAccounts and one SaveAccounts of acc.lst per iteration.
void BM_AccountsLoadSave(benchmark::State& state)
{
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    OptionsStart();
    QByteArray file;
    for (int i = 0; i < 100000; ++i) {
        const QByteArray n = QByteArray::number(i);
        file += "\xC8\xE2\xE0\xED \xCF\xE5\xF2\xF0\xEE\xE2 " + n + "\r\nuser" + n + "@example.org\r\n" +
                ScrambleAnsi("password" + n) + "\r\n";
    }
    QFile out(Options->DataFolder() + u"acc.lst"_s);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size()) {
        state.SkipWithError("cannot write acc.lst");
        return;
    }
    out.close();
    for (auto _ : state) {
        LoadAccounts();
        if (Accounts->Count() != 100000 || !SaveAccounts().isEmpty())
            state.SkipWithError("load or save failed");
    }
    state.SetBytesProcessed(state.iterations() * file.size());
    OptionsStop();
}
BENCHMARK(BM_AccountsLoadSave)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
