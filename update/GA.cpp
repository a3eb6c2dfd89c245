#include "update/GA.h"

#include <chrono>
#include <mutex>
#include <random>

#include "net/AsyncHttp.h"
#include "net/CodePage.h"
#include "net/Exception.h"
#include "net/UrlCode.h"
#include "settings/uOptions.h"

using namespace Qt::StringLiterals;

namespace {

std::mutex& SeamLock()
{
    static std::mutex lock;
    return lock;
}

std::function<qint64()>& ClockSeam()
{
    static std::function<qint64()> clock;
    return clock;
}

std::function<quint32(quint32)>& RandomSeam()
{
    static std::function<quint32(quint32)> random;
    return random;
}

qint64 SystemSeconds()
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    // To the nearest second, not truncated.
    return ms >= 0 ? (ms + 500) / 1000 : -((-ms + 500) / 1000);
}

quint32 SystemRandom(quint32 bound)
{
    static std::mutex lock;
    static std::mt19937 generator(
        static_cast<std::mt19937::result_type>(std::chrono::system_clock::now().time_since_epoch().count()));
    std::lock_guard guard(lock);
    return std::uniform_int_distribution<quint32>(0, bound - 1)(generator);
}

// The event part of "utme": category, action and label go out as Windows-1251 bytes.
QString Encoded(const QString& text)
{
    return QString::fromLatin1(UrlEncode(ToAnsi(text)));
}

} // namespace

quint32 UnixNow()
{
    std::function<qint64()> clock;
    {
        std::lock_guard guard(SeamLock());
        clock = ClockSeam();
    }
    return static_cast<quint32>(clock ? clock() : SystemSeconds());
}

quint32 GARandom(quint32 bound)
{
    if (bound == 0)
        return 0;
    std::function<quint32(quint32)> random;
    {
        std::lock_guard guard(SeamLock());
        random = RandomSeam();
    }
    return random ? random(bound) % bound : SystemRandom(bound);
}

void SetGAClock(std::function<qint64()> secondsSinceEpoch)
{
    std::lock_guard guard(SeamLock());
    ClockSeam() = std::move(secondsSinceEpoch);
}

void SetGARandom(std::function<quint32(quint32 bound)> random)
{
    std::lock_guard guard(SeamLock());
    RandomSeam() = std::move(random);
}

TGA::TGA()
{
    if (!Options)
        throw Exception(u"Настройки не загружены"_s);
    Options->UpdateGA([this](TGAValues& v) {
        if (v.Hash != 0) {
            VisitorHash = v.Hash;
        } else {
            VisitorHash = 1000000000 + qint64(GARandom(89999999));
            v.Hash = VisitorHash;
        }
        if (v.ID != 0) {
            VisitorId = v.ID;
        } else {
            VisitorId = 1000000000 + qint64(GARandom(1147483647));
            v.ID = VisitorId;
        }
        if (v.Count != 0) {
            ++v.Count;
            VisitCount = static_cast<qint32>(static_cast<quint32>(v.Count & 0xFFFFFFFF));
        } else {
            VisitCount = 1;
            v.Count = 1;
        }
        if (v.FirstTime != 0) {
            FirstVisit = v.FirstTime;
        } else {
            FirstVisit = UnixNow();
            v.FirstTime = FirstVisit;
        }
        PrevVisit = v.PrevTime != 0 ? v.PrevTime : qint64(UnixNow());
        CurrentVisit = UnixNow();
        v.PrevTime = CurrentVisit;
    });
}

QString TGA::CookieParam() const
{
    const QString hash = QString::number(VisitorHash);
    const QString current = QString::number(CurrentVisit);
    const QString cookie = u"utma="_s + hash + u'.' + QString::number(VisitorId) + u'.' +
                           QString::number(FirstVisit) + u'.' + QString::number(PrevVisit) + u'.' + current +
                           u'.' + QString::number(VisitCount) + u";+__utmz="_s + hash + u'.' + current +
                           u".1.1"_s;
    return u"&utmcc=__"_s + Encoded(cookie) + u".utmcsr=(direct)|utmccn=(direct)|utmcmd=(none)%3B"_s;
}

QString TGA::TrackEvent(const QString& category, const QString& action, const QString& label,
                        const QString& value)
{
    QString query = u"?utmwv=4.6.5"_s;
    query += u"&utmn="_s + QString::number(1000000000 + qint64(GARandom(410065407)));
    query += u"&utmhn=" QUILLBOX_UPDATE_HOST ""_s;
    query += u"&utmt=event"_s;
    query += u"&utme=5("_s + Encoded(category) + u'*' + Encoded(action);
    if (!label.isEmpty())
        query += u'*' + Encoded(label) + u')';
    else
        query += u')';
    if (!value.isEmpty())
        query += u'(' + value + u')';
    query += u"&utmhid="_s + QString::number(1000000000 + qint64(GARandom(410065407)));
    query += u"&utmcs=utf-8&utmsr=1920x1080&utmsc=32-bit&utmul=ru&utmje=1&utmfl=10.1%20r52"_s;
    query += u"&utmr=-&utmp=%2F&utmac=" QUILLBOX_GA_ACCOUNT ""_s;
    query += CookieParam();

    const QString address = u"http://" QUILLBOX_GA_HOST "/__utm.gif"_s + query;

    TAsyncHttp http;
    http.URL = address;
    http.Reference = u"http://" QUILLBOX_UPDATE_HOST "/"_s;
    http.Agent = u"Opera/9.80 (Windows NT 6.0; U; ru) Presto/2.5.24 Version/10.53"_s;
    http.AcceptLanguage = u"ru,ru-RU;q=0.9,en;q=0.8"_s;
    http.Connection = u"close"_s;
    http.RequestVer = u"1.0"_s;
    http.Accept = u"image/png,image/*;q=0.8,*/*;q=0.5"_s;
    if (!http.PlainGet())
        throw Exception(u"Не удалось отправить событие статистики (код ответа %1)"_s.arg(http.StatusCode()));
    return address;
}
