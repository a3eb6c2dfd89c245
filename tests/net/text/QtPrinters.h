#pragma once

#include <ostream>

#include <QByteArray>
#include <QString>

// Readable failure messages for Qt strings (gtest would print them as arrays of objects).
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

inline void PrintTo(const QByteArray& b, std::ostream* os)
{
    *os << "hex " << b.toHex(' ').toStdString();
}
