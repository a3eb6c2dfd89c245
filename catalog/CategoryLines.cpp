#include "catalog/CategoryLines.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include <sys/mman.h>

#include <QFile>
#include <QStringDecoder>

#include "accounts/CryptStr.h"
#include "net/CodePage.h"
#include "net/Exception.h"

using namespace Qt::StringLiterals;

namespace {

bool StartsWith(const QByteArray& bytes, QByteArrayView prefix)
{
    return bytes.size() >= prefix.size() && std::memcmp(bytes.constData(), prefix.data(), prefix.size()) == 0;
}

// UTF-16 files are rare; they are turned into UTF-8 once so that lines stay byte slices.
QByteArray Utf16ToUtf8(const QByteArray& bytes, QStringConverter::Encoding encoding)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    const QString text = decoder(QByteArrayView(bytes).sliced(2));
    return text.toUtf8();
}

// A large file goes into memory that asks for transparent huge pages: with 4 KiB pages, faulting
// in and then scanning a hundred megabytes takes several times as long on common virtual machines.
char* AllocateFileBuffer(size_t size)
{
    constexpr size_t kHugePage = size_t(2) << 20;
    if (size >= kHugePage) {
        const size_t rounded = (size + kHugePage - 1) & ~(kHugePage - 1);
        if (void* memory = std::aligned_alloc(kHugePage, rounded)) {
            madvise(memory, rounded, MADV_HUGEPAGE);
            return static_cast<char*>(memory);
        }
    }
    return static_cast<char*>(std::malloc(std::max<size_t>(size, 1)));
}

} // namespace

TCategoryLines TCategoryLines::FromFile(const QString& path)
{
    // Unbuffered: the bytes go straight into their final place, without a second copy.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        throw Exception(u"Не удалось открыть файл каталога %1: %2"_s.arg(path, file.errorString()));
    }
    const qint64 size = file.size();
    if (size > qint64(std::numeric_limits<quint32>::max())) {
        throw Exception(u"Файл каталога %1 слишком велик"_s.arg(path));
    }
    std::unique_ptr<char, TFree> buffer(AllocateFileBuffer(size_t(size)));
    if (!buffer) {
        throw Exception(u"Недостаточно памяти для файла каталога %1"_s.arg(path));
    }
    qint64 got = 0;
    while (got < size) {
        const qint64 n = file.read(buffer.get() + got, size - got);
        if (n < 0) {
            throw Exception(u"Не удалось прочитать файл каталога %1: %2"_s.arg(path, file.errorString()));
        }
        if (n == 0) {
            break; // the file became shorter meanwhile
        }
        got += n;
    }
    TCategoryLines result = FromBytes(QByteArray::fromRawData(buffer.get(), got));
    result.m_buffer = std::move(buffer);
    return result;
}

TCategoryLines TCategoryLines::FromBytes(QByteArray bytes)
{
    TCategoryLines result;
    qsizetype begin = 0;
    if (StartsWith(bytes, "\xEF\xBB\xBF")) {
        result.m_encoding = Encoding::Utf8;
        begin = 3;
    } else if (StartsWith(bytes, "\xFF\xFE")) {
        result.m_encoding = Encoding::Utf8;
        bytes = Utf16ToUtf8(bytes, QStringConverter::Utf16LE);
    } else if (StartsWith(bytes, "\xFE\xFF")) {
        result.m_encoding = Encoding::Utf8;
        bytes = Utf16ToUtf8(bytes, QStringConverter::Utf16BE);
    }
    if (bytes.size() > qsizetype(std::numeric_limits<quint32>::max())) {
        throw Exception(u"Файл каталога слишком велик"_s);
    }
    result.m_bytes = std::move(bytes);
    const char* const data = result.m_bytes.constData();
    const qsizetype size = result.m_bytes.size();
    std::vector<quint32>& starts = result.m_starts;
    if (begin == size) {
        return result;
    }

    // memchr runs far faster than a byte loop over a large file; each search is repeated only
    // once the previous hit has been passed.
    const auto find = [&](qsizetype from, char c) {
        const void* hit = std::memchr(data + from, c, size_t(size - from));
        return hit ? static_cast<const char*>(hit) - data : size;
    };
    starts.reserve(size_t(size / 48) + 2);
    starts.push_back(quint32(begin));
    qsizetype nextLf = find(begin, '\n');
    qsizetype nextCr = find(begin, '\r');
    qsizetype pos = begin;
    while (pos < size) {
        if (nextLf < pos) {
            nextLf = find(pos, '\n');
        }
        if (nextCr < pos) {
            nextCr = find(pos, '\r');
        }
        const qsizetype brk = std::min(nextLf, nextCr);
        if (brk == size) {
            break;
        }
        pos = (brk == nextCr && brk + 1 < size && data[brk + 1] == '\n') ? brk + 2 : brk + 1;
        if (pos < size) {
            starts.push_back(quint32(pos));
        }
    }
    starts.push_back(quint32(size));
    return result;
}

QByteArrayView TCategoryLines::Line(qsizetype index) const
{
    const qsizetype from = m_starts[size_t(index)];
    qsizetype to = m_starts[size_t(index) + 1];
    const char* data = m_bytes.constData();
    if (to > from && data[to - 1] == '\n') {
        --to;
    }
    if (to > from && data[to - 1] == '\r') {
        --to;
    }
    return QByteArrayView(data + from, to - from);
}

QString TCategoryLines::Text(qsizetype index) const
{
    const QByteArrayView line = Line(index);
    if (const std::optional<QByteArray> ansi = UnscrambleAnsi(line)) {
        return FromAnsi(*ansi);
    }
    return m_encoding == Encoding::Utf8 ? QString::fromUtf8(line) : FromAnsi(line);
}
