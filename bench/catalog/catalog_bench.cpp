// Showing one page of the catalog, and loading a very large category file.
//   catalog_bench [--benchmark_filter=...]
#include <chrono>
#include <fstream>
#include <string>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSlider>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QAbstractTextDocumentLayout>

#include <benchmark/benchmark.h>

#include "catalog/fStatusBase.h"

using namespace Qt::StringLiterals;

namespace {

// Scrambled lines of all shipped categories, to repeat into files of any length.
QList<QByteArray> ShippedLines()
{
    QList<QByteArray> lines;
    for (const QString& name : QDir(QStringLiteral(QUILLBOX_BASE_DIR)).entryList({u"*.txt"_s}, QDir::Files)) {
        QFile file(QDir(QStringLiteral(QUILLBOX_BASE_DIR)).filePath(name));
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (!line.trimmed().isEmpty()) {
                    lines.append(line.trimmed());
                }
            }
        }
    }
    return lines;
}

// Streams the file, so that the generator itself never holds it in memory.
qint64 WriteCategory(const QString& path, qint64 lineCount)
{
    static const QList<QByteArray> source = ShippedLines();
    std::ofstream out(path.toStdString(), std::ios::binary);
    qint64 size = 0;
    for (qint64 i = 0; i < lineCount; ++i) {
        const QByteArray& line = source[i % source.size()];
        out.write(line.constData(), line.size());
        out.write("\r\n", 2);
        size += line.size() + 2;
    }
    return size;
}

qint64 StatusValue(const char* key)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
    }
    return -1;
}

// Lets the peak resident size (VmHWM) start again from the current one.
bool ResetPeakMemory()
{
    QFile clearRefs(u"/proc/self/clear_refs"_s);
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

void ForceLayout(QTextBrowser* view)
{
    const QTextDocument* document = view->document();
    document->documentLayout()->blockBoundingRect(document->lastBlock());
}

void BM_ShowPage(benchmark::State& state)
{
    QTemporaryDir dir;
    WriteCategory(QDir(dir.path()).filePath(u"love.txt"_s), 2000);
    TfrmStatusBase form;
    form.SetBaseFolder(dir.path());
    form.show();
    form.LoadCategory(u"love.txt"_s);
    auto* slider = form.findChild<QSlider*>(u"slPage"_s);
    auto* view = form.findChild<QTextBrowser*>(u"RichView1"_s);
    const bool paint = state.range(0) != 0;
    int page = 0;
    for (auto _ : state) {
        // A new page each time: decode twenty lines, build and lay out the view.
        page = (page + 1) % (slider->maximum() + 1);
        slider->setValue(page);
        ForceLayout(view);
        if (paint) {
            view->viewport()->repaint();
        }
    }
    state.SetLabel(paint ? "decode, lay out and paint" : "decode and lay out");
}
BENCHMARK(BM_ShowPage)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_LoadLargeCategory(benchmark::State& state)
{
    QTemporaryDir dir;
    const qint64 lines = state.range(0);
    const qint64 fileSize = WriteCategory(QDir(dir.path()).filePath(u"big.txt"_s), lines);
    WriteCategory(QDir(dir.path()).filePath(u"small.txt"_s), 1);
    TfrmStatusBase form;
    form.SetBaseFolder(dir.path());
    form.show();
    auto* view = form.findChild<QTextBrowser*>(u"RichView1"_s);
    qint64 peakExtra = 0;
    for (auto _ : state) {
        form.LoadCategory(u"small.txt"_s); // the large file of the last round is released
        const qint64 before = StatusValue("VmRSS:");
        ResetPeakMemory();
        const auto start = std::chrono::steady_clock::now();
        form.LoadCategory(u"big.txt"_s);
        ForceLayout(view);
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        peakExtra = std::max(peakExtra, StatusValue("VmHWM:") - before);
    }
    state.counters["file_MB"] = double(fileSize) / 1e6;
    state.counters["peak_extra_MB"] = double(peakExtra) / 1e6;
    state.counters["memory_per_file_byte"] = double(peakExtra) / double(fileSize);
}
BENCHMARK(BM_LoadLargeCategory)
    ->Arg(100000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
