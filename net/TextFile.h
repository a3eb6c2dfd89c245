#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Decodes a text file's bytes: a UTF-8, UTF-16 LE or UTF-16 BE byte-order mark selects that
// encoding (and is dropped); otherwise the bytes are 8-bit text.
QString DecodeTextFile(const QByteArray& bytes);
// Splits at CR LF, lone LF or lone CR; a final line break adds no empty line.
QStringList SplitLines(const QString& text);
