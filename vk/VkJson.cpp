#include "VkJson.h"

#include <cmath>

#include <QJsonDocument>
#include <QJsonParseError>

using namespace Qt::StringLiterals;

std::optional<QJsonObject> ParseJsonObject(const QString& text)
{
    // QJsonDocument stops at its nesting limit with an error, so a hostile reply fails cleanly.
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

QString JsonText(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double: {
        const double d = value.toDouble();
        if (d == std::trunc(d) && std::abs(d) < 9.2e18)
            return QString::number(value.toInteger(qint64(d)));
        return QString::number(d, 'g', 17);
    }
    case QJsonValue::Bool:
        return value.toBool() ? u"true"_s : u"false"_s;
    default:
        return {};
    }
}

qint32 JsonInt32(const QJsonValue& value)
{
    qint64 n = 0;
    switch (value.type()) {
    case QJsonValue::Double: {
        // Integers arrive as exact 64-bit values; a double would lose digits beyond 2^53.
        const double d = value.toDouble();
        if (std::isfinite(d) && std::abs(d) < 9.2e18)
            n = value.toInteger(qint64(std::trunc(d)));
        break;
    }
    case QJsonValue::String:
        n = value.toString().trimmed().toLongLong();
        break;
    case QJsonValue::Bool:
        n = value.toBool() ? 1 : 0;
        break;
    default:
        break;
    }
    return qint32(quint32(quint64(n)));
}
