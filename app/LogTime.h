#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

// The locale's long time format without its time-zone field: hours as the locale writes them,
// minutes, seconds and an AM/PM marker where the locale uses one.
QString LogTimeFormat(const QLocale& locale);
QString FormatLogTime(const QTime& time, const QLocale& locale);
