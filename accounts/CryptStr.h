#pragma once

#include <optional>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The reversible text scrambler of acc.lst passwords and the catalog files: each 8-bit byte as
// three decimal digits, then the numbers 25 down to 0 replaced by the letter tokens.
QString Scramble(const QString& text);
// Raises Exception when the text is not valid scrambled text.
QString Unscramble(const QString& text);
std::optional<QString> TryUnscramble(const QString& text);

// The same on 8-bit text: the catalog keeps its files as bytes.
QByteArray ScrambleAnsi(QByteArrayView bytes);
std::optional<QByteArray> UnscrambleAnsi(QByteArrayView scrambled);
