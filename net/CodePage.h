#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The system's 8-bit text: Windows-1251 through a table of our own. Characters outside it become
// "?"; byte 0x98 (undefined in Windows-1251) maps to U+0098 and back, so every byte round-trips.
QByteArray ToAnsi(QStringView text);
QString FromAnsi(QByteArrayView bytes);
