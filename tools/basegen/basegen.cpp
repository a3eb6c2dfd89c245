// Turns the readable UTF-8 category sources into the scrambled files the catalog reads:
//   basegen OUTPUT_FOLDER SOURCE.txt...
// Each output keeps its source's file name; one status per line, CR LF after every line.
#include <cstdio>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>

#include "accounts/CryptStr.h"
#include "net/CodePage.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxStatusLength = 255;

bool Fail(const QString& message)
{
    std::fprintf(stderr, "basegen: %s\n", qPrintable(message));
    return false;
}

QStringList SplitSourceLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') {
            continue;
        }
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            ++i;
        }
        start = i + 1;
    }
    if (start < text.size()) {
        lines.append(text.mid(start));
    }
    return lines;
}

bool Convert(const QString& sourcePath, const QString& outputFolder)
{
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly)) {
        return Fail(u"cannot open %1: %2"_s.arg(sourcePath, source.errorString()));
    }
    QByteArray bytes = source.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes.remove(0, 3);
    }
    QStringDecoder decoder(QStringConverter::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError()) {
        return Fail(u"%1 is not valid UTF-8"_s.arg(sourcePath));
    }

    QByteArray output;
    const QStringList lines = SplitSourceLines(text);
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString& line = lines[n];
        const QString where = u"%1:%2"_s.arg(sourcePath).arg(n + 1);
        if (line.trimmed().isEmpty()) {
            return Fail(u"%1: empty status"_s.arg(where));
        }
        if (line.size() > kMaxStatusLength) {
            return Fail(u"%1: status of %2 characters, at most %3 fit"_s.arg(where)
                            .arg(line.size())
                            .arg(kMaxStatusLength));
        }
        const QByteArray ansi = ToAnsi(line);
        if (FromAnsi(ansi) != line) {
            return Fail(u"%1: a character has no Windows-1251 form"_s.arg(where));
        }
        output += ScrambleAnsi(ansi);
        output += "\r\n";
    }
    if (lines.isEmpty()) {
        return Fail(u"%1 holds no status"_s.arg(sourcePath));
    }

    const QString outputPath = QDir(outputFolder).filePath(QFileInfo(sourcePath).fileName());
    QSaveFile file(outputPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(output) != output.size() || !file.commit()) {
        return Fail(u"cannot write %1: %2"_s.arg(outputPath, file.errorString()));
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: basegen OUTPUT_FOLDER SOURCE.txt...\n");
        return 2;
    }
    const QString outputFolder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(outputFolder)) {
        Fail(u"cannot create %1"_s.arg(outputFolder));
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        if (!Convert(QString::fromLocal8Bit(argv[i]), outputFolder)) {
            return 1;
        }
    }
    return 0;
}
