#pragma once

#include <cstdint>
#include <functional>

#include <QString>

// One Google Analytics event hit in the classic "__utm.gif" form. Constructing it counts this run as
// a visit in Options, whether or not a hit is sent afterwards.
class TGA
{
public:
    TGA(); // raises Exception when Options does not exist

    // Sends the hit and returns its address; raises Exception when the exchange failed.
    QString TrackEvent(const QString& category, const QString& action, const QString& label,
                       const QString& value);
    QString CookieParam() const;

    qint64 CurrentVisit = 0;
    qint64 FirstVisit = 0;
    qint64 PrevVisit = 0;
    qint32 VisitCount = 0;
    qint64 VisitorHash = 0;
    qint64 VisitorId = 0;
};

// Whole seconds since 1970-01-01 00:00 UTC.
quint32 UnixNow();

// A number from 0 to bound - 1 from the one process-wide generator, seeded once from the clock.
quint32 GARandom(quint32 bound);

// Test seams; an empty function restores the production source.
void SetGAClock(std::function<qint64()> secondsSinceEpoch);
void SetGARandom(std::function<quint32(quint32 bound)> random);
