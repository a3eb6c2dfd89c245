// The signed /api.php calls and the profile list.
#include "VKapi.h"

#include <algorithm>

#include <QCryptographicHash>
#include <QJsonArray>

#include "net/AsyncHttp.h"
#include "net/CodePage.h"
#include "net/UrlCode.h"
#include "net/Web.h"
#include "vk/VkJson.h"

using namespace Qt::StringLiterals;

namespace {

QString signatureOf(QStringList items, qint32 mid, const QString& secret)
{
    // Case-insensitive order as QString::compare with Qt::CaseInsensitive gives it (Unicode case
    // folding, then UTF-16 order); equal items keep their order. The items that occur here start
    // with distinct ASCII names, so any case-insensitive order sorts them alike.
    std::stable_sort(items.begin(), items.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    const QByteArray input = ToAnsi(QString::number(mid) + items.join(QString()) + secret);
    return QString::fromLatin1(QCryptographicHash::hash(input, QCryptographicHash::Md5).toHex());
}

// Items at every "&": an empty text has none, an empty item between two "&" counts, a final "&"
// adds none.
QStringList splitItems(const QString& params)
{
    if (params.isEmpty())
        return {};
    QStringList items = params.split(u'&');
    if (items.last().isEmpty())
        items.removeLast();
    return items;
}

std::optional<QString> vkErrorOf(const QJsonObject& reply)
{
    const QJsonValue error = reply.value(u"error"_s);
    if (!error.isObject())
        return std::nullopt;
    return u"Ошибка VK: "_s + JsonText(error.toObject().value(u"error_msg"_s));
}

} // namespace

QString TVKApi::BuildParams(const QString& params)
{
    return u"api_id=8&"_s + params + u"&format=json&v=3.0"_s;
}

QString TVKApi::Signature(const QString& params) const
{
    return signatureOf(splitItems(params), Mid, Secret);
}

QString TVKApi::CallMethod(const QString& params, const QString& signature)
{
    const QString full = BuildParams(params);
    const QString sig = signature.isEmpty() ? Signature(FromAnsi(UrlDecode(ToAnsi(full)))) : signature;
    return HttpFetch(VkApiUrl(u"/api.php"_s), full + u"&sid="_s + Sid + u"&sig="_s + sig);
}

QString TVKApi::GetActivity()
{
    const std::optional<QJsonObject> reply = ParseJsonObject(CallMethod(u"method=activity.get"_s, QString()));
    if (reply) {
        if (const std::optional<QString> error = vkErrorOf(*reply))
            throw Exception(*error);
        const QJsonValue response = reply->value(u"response"_s);
        if (response.isObject())
            return JsonText(response.toObject().value(u"activity"_s));
    }
    throw Exception(u"Не удалось получить статус"_s);
}

void TVKApi::SetActivity(const QString& text)
{
    const QString sent = u"method=activity.set&text="_s + QString::fromLatin1(UrlEncode(text.toUtf8()));
    // VK decodes the parameters before it checks the signature, so the status is one item, even
    // when it holds "&".
    QStringList items = splitItems(BuildParams(u"method=activity.set"_s));
    items.append(u"text="_s + text);
    const QString reply = CallMethod(sent, signatureOf(items, Mid, Secret));
    if (reply.isEmpty())
        throw Exception(u"Не удалось отправить статус"_s);
    if (const std::optional<QJsonObject> object = ParseJsonObject(reply)) {
        if (const std::optional<QString> error = vkErrorOf(*object))
            throw Exception(*error);
    }
}

void TVKApi::GetProfiles(qint32 uid)
{
    if (uid == 0)
        uid = Mid;
    const std::optional<QJsonObject> reply = ParseJsonObject(CallMethod(
        u"method=getProfiles&uids="_s + QString::number(uid) + u"&fields=photo_medium"_s, QString()));
    if (!reply)
        return;
    const QJsonValue response = reply->value(u"response"_s);
    if (!response.isArray())
        return;
    for (const QJsonValue element : response.toArray()) {
        if (!element.isObject())
            continue;
        const QJsonObject o = element.toObject();
        auto profile = std::make_unique<TVKProfile>(this);
        const auto present = [&o](const QString& name) {
            const QJsonValue v = o.value(name);
            return !v.isNull() && !v.isUndefined();
        };
        if (present(u"uid"_s))
            profile->Uid = JsonInt32(o.value(u"uid"_s));
        if (present(u"first_name"_s))
            profile->FirstName = JsonText(o.value(u"first_name"_s));
        if (present(u"last_name"_s))
            profile->LastName = JsonText(o.value(u"last_name"_s));
        if (present(u"photo_rec"_s))
            profile->PhotoRec = JsonText(o.value(u"photo_rec"_s));
        if (present(u"photo_medium"_s))
            profile->PhotoMedium = JsonText(o.value(u"photo_medium"_s));
        TVKProfile::AddToList(std::move(profile));
    }
}

TVKProfile* TVKProfile::AddToList(std::unique_ptr<TVKProfile> profile)
{
    TVKProfileList& list = profile->Api->Profiles;
    if (TVKProfile* found = list.Find(profile->Uid))
        return found;
    TVKProfile* added = profile.get();
    list.Append(std::move(profile));
    return added;
}

TVKProfile* TVKProfileList::Find(qint32 uid) const
{
    if (uid == 0 && Api)
        uid = Api->Mid;
    for (const auto& p : m_items) {
        if (p->Uid == uid)
            return p.get();
    }
    return nullptr;
}

void TVKProfileList::Append(std::unique_ptr<TVKProfile> profile)
{
    m_items.push_back(std::move(profile));
}
