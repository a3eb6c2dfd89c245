#pragma once

#include <stdexcept>

#include <QString>

// The program's error class: carries a message text shown to the user.
class Exception : public std::runtime_error
{
public:
    explicit Exception(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromUtf8(what()); }
};
