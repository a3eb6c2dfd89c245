#include "net/TextFile.h"

#include <algorithm>

#include <QStringDecoder>

#include "net/CodePage.h"

namespace {

bool StartsWith(const QByteArray& bytes, const char* mark, qsizetype length)
{
    return bytes.size() >= length && std::equal(mark, mark + length, bytes.constData());
}

QString DecodeUtf16(QByteArrayView bytes, QStringDecoder::Encoding encoding)
{
    // The decoder turns a dangling odd byte or a broken surrogate into U+FFFD instead of dropping it.
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

} // namespace

QString DecodeTextFile(const QByteArray& bytes)
{
    if (StartsWith(bytes, "\xEF\xBB\xBF", 3))
        return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    if (StartsWith(bytes, "\xFF\xFE", 2))
        return DecodeUtf16(QByteArrayView(bytes).sliced(2), QStringDecoder::Utf16LE);
    if (StartsWith(bytes, "\xFE\xFF", 2))
        return DecodeUtf16(QByteArrayView(bytes).sliced(2), QStringDecoder::Utf16BE);
    return FromAnsi(bytes);
}

QStringList SplitLines(const QString& text)
{
    QStringList lines;
    const QChar* d = text.constData();
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = d[i].unicode();
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < n && d[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.sliced(start));
    return lines;
}
