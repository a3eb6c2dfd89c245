#include "EmuReplies.h"

#include <QJsonDocument>

#include "Cp1251.h"

using namespace Qt::StringLiterals;

namespace emu {

const QByteArray kLoginHost = QByteArray(QUILLBOX_VK_LOGIN_HOST).toLower();
const QByteArray kSiteHost = QByteArray(QUILLBOX_VK_SITE_HOST).toLower();
const QByteArray kApiHost = QByteArray(QUILLBOX_VK_API_HOST).toLower();
const QByteArray kUpdateHost = QByteArray(QUILLBOX_UPDATE_HOST).toLower();
const QByteArray kGaHost = QByteArray(QUILLBOX_GA_HOST).toLower();

Form parseForm(const QByteArray& text)
{
    Form form;
    if (text.isEmpty())
        return form;
    for (const QByteArray& item : text.split('&')) {
        const qsizetype eq = item.indexOf('=');
        QByteArray name = eq < 0 ? item : item.left(eq);
        QByteArray value = eq < 0 ? QByteArray() : item.mid(eq + 1);
        name.replace('+', ' ');
        value.replace('+', ' ');
        form.emplace_back(QByteArray::fromPercentEncoding(name), QByteArray::fromPercentEncoding(value));
    }
    return form;
}

QByteArray formValue(const Form& form, const QByteArray& name)
{
    for (const auto& [n, v] : form) {
        if (n == name)
            return v;
    }
    return {};
}

QString latin1(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

QByteArray trimBlanks(const QByteArray& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return s.mid(b, e - b);
}

Reply textReply(int status, const QByteArray& body)
{
    Reply r;
    r.status = status;
    r.body = body;
    return r;
}

Reply jsonReply(const QJsonObject& o)
{
    Reply r;
    r.contentType = "application/json; charset=utf-8";
    r.body = QJsonDocument(o).toJson(QJsonDocument::Compact);
    return r;
}

Reply apiError(int code, const QString& message)
{
    return jsonReply(
        QJsonObject{{u"error"_s, QJsonObject{{u"error_code"_s, code}, {u"error_msg"_s, message}}}});
}

Reply redirect(const QByteArray& location)
{
    Reply r;
    r.status = 302;
    r.headers.emplace_back("Location", location);
    return r;
}

QByteArray encodeFor(const QString& text, const QByteArray& contentType)
{
    return contentType.toLower().contains("utf") ? text.toUtf8() : ToCp1251(text);
}

qint64 jsonInteger(const QJsonValue& v)
{
    if (v.isString())
        return v.toString().toLongLong();
    return v.toInteger();
}

Reply loginPage()
{
    return textReply(200, ToCp1251(u"<html><body><form action=\"/?act=login\" method=\"post\">"
                                   u"Вход на сайт</form></body></html>"_s));
}

} // namespace emu
