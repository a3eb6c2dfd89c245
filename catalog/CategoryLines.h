#pragma once

#include <cstdlib>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The lines of one category file, still scrambled. They are kept as the file's bytes plus the
// offset where each line starts: a million QStrings would take several times the file's size.
class TCategoryLines
{
public:
    enum class Encoding { Ansi, Utf8 };

    // Raises Exception naming the file when it is missing, cannot be read or is too large.
    static TCategoryLines FromFile(const QString& path);
    // An optional UTF-8, UTF-16 LE or UTF-16 BE byte-order mark; lines end at CR LF, LF or CR,
    // and a line break at the very end adds no empty line.
    static TCategoryLines FromBytes(QByteArray bytes);

    qsizetype Count() const { return m_starts.empty() ? 0 : qsizetype(m_starts.size()) - 1; }
    QByteArrayView Line(qsizetype index) const;
    // The status of a line; a line that does not unscramble is given as it stands in the file.
    QString Text(qsizetype index) const;
    Encoding TextEncoding() const { return m_encoding; }

private:
    struct TFree
    {
        void operator()(char* p) const { std::free(p); }
    };

    // A file read from disk lives here, m_bytes only refers to it.
    std::unique_ptr<char, TFree> m_buffer;
    QByteArray m_bytes;
    // Start of every line, then the end of the text; a line's own slice still ends with its break.
    std::vector<quint32> m_starts;
    Encoding m_encoding = Encoding::Ansi;
};
