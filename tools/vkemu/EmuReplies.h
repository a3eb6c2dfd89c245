#pragma once

#include <string>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include "Emulator.h"

// Small pieces the emulator's handlers share.
namespace emu {

extern const QByteArray kLoginHost;
extern const QByteArray kSiteHost;
extern const QByteArray kApiHost;
extern const QByteArray kUpdateHost;
extern const QByteArray kGaHost;

using Form = std::vector<std::pair<QByteArray, QByteArray>>;

// Form fields as a web server reads them: "+" is a blank, then percent escapes.
Form parseForm(const QByteArray& text);
QByteArray formValue(const Form& form, const QByteArray& name); // first one; empty when absent
QString latin1(const QByteArray& bytes);
QByteArray trimBlanks(const QByteArray& s);
Reply textReply(int status, const QByteArray& body);
Reply jsonReply(const QJsonObject& o);
Reply apiError(int code, const QString& message);
Reply redirect(const QByteArray& location);
QByteArray encodeFor(const QString& text, const QByteArray& contentType);
qint64 jsonInteger(const QJsonValue& v);
Reply loginPage();

} // namespace emu
