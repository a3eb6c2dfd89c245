#pragma once

#include <optional>

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// Forgiving reads of VK's replies: an absent or null member gives empty text or 0, and a member of
// another type than expected gives its plain value where it has one (a number as text, a numeric
// string as integer) and empty text or 0 otherwise; nothing here raises.
std::optional<QJsonObject> ParseJsonObject(const QString& text);
QString JsonText(const QJsonValue& value);
qint32 JsonInt32(const QJsonValue& value); // the low 32 bits of the integer
