#pragma once

#include <QByteArray>
#include <QString>

// Windows-1251 as glibc's iconv knows it, independent of the program's own code page table, so that
// what the emulator checks was not computed by the code under test.
namespace emu {

QByteArray ToCp1251(const QString& text);    // characters outside the code page become "?"
QString FromCp1251(const QByteArray& bytes); // bytes iconv cannot map become U+FFFD

} // namespace emu
