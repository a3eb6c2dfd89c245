#include <climits>
#include <set>
#include <string>
#include <vector>

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include "UpdateFixture.h"
#include "UpdateTestServer.h"
#include "net/AsyncHttp.h"
#include "net/CookieJar.h"
#include "net/Exception.h"
#include "settings/uOptions.h"
#include "update/GA.h"

using namespace Qt::StringLiterals;

namespace {

const QString Collector = u"http://" QUILLBOX_GA_HOST ""_s;

std::vector<std::string> Fields(const QString& address)
{
    std::vector<std::string> fields;
    for (const QString& f : address.split(u'&'))
        fields.push_back(f.toStdString());
    return fields;
}

QString Field(const QString& address, const QString& name)
{
    for (const QString& f : address.split(u'&')) {
        if (f.startsWith(name + u'='))
            return f;
    }
    return {};
}

// Hands out the given numbers in turn and remembers the bounds asked for.
struct ScriptedRandom
{
    std::vector<quint32> values;
    std::vector<quint32> bounds = {};
    size_t next = 0;
};

void UseScriptedRandom(ScriptedRandom& r)
{
    SetGARandom([&r](quint32 bound) {
        r.bounds.push_back(bound);
        return r.next < r.values.size() ? r.values[r.next++] : bound - 1;
    });
}

} // namespace

class GATest : public UpdateFixture
{
};

TEST_F(GATest, FirstRunCreatesTheVisitorAndTheNextRunReturnsAsIt)
{
    qint64 now = 1700000000;
    SetGAClock([&now] { return now; });
    ScriptedRandom random; // no values: the top of every range
    UseScriptedRandom(random);

    TGA first;
    EXPECT_EQ(random.bounds, (std::vector<quint32>{89999999u, 1147483647u}));
    EXPECT_EQ(first.VisitorHash, 1089999998);
    EXPECT_EQ(first.VisitorId, 2147483646);
    EXPECT_EQ(first.VisitCount, 1);
    EXPECT_EQ(first.FirstVisit, 1700000000);
    EXPECT_EQ(first.PrevVisit, 1700000000);
    EXPECT_EQ(first.CurrentVisit, 1700000000);
    TGAValues stored = Options->GA();
    EXPECT_EQ(stored.Hash, 1089999998);
    EXPECT_EQ(stored.ID, 2147483646);
    EXPECT_EQ(stored.Count, 1);
    EXPECT_EQ(stored.FirstTime, 1700000000);
    EXPECT_EQ(stored.PrevTime, 1700000000);

    // The next run reads what this one saved.
    Options->Save();
    OptionsStop();
    OptionsStart();
    Options->Load();
    now = 1700003600;
    random.bounds.clear();

    TGA second;
    EXPECT_TRUE(random.bounds.empty()) << "hash and id are drawn once per visitor";
    EXPECT_EQ(second.VisitorHash, first.VisitorHash);
    EXPECT_EQ(second.VisitorId, first.VisitorId);
    EXPECT_EQ(second.VisitCount, 2);
    EXPECT_EQ(second.FirstVisit, 1700000000);
    EXPECT_EQ(second.PrevVisit, first.CurrentVisit);
    EXPECT_EQ(second.CurrentVisit, 1700003600);
    stored = Options->GA();
    EXPECT_EQ(stored.Count, 2);
    EXPECT_EQ(stored.FirstTime, 1700000000);
    EXPECT_EQ(stored.PrevTime, 1700003600);
}

TEST_F(GATest, VisitCountIsTheLowHalfOfTheStoredCount)
{
    struct Case
    {
        qint64 stored;
        qint64 storedAfter;
        qint32 visitCount;
    };
    const Case cases[] = {
        {41, 42, 42},
        {0xFFFFFFFFLL, 0x100000000LL, 0},
        {0x17FFFFFFFLL, 0x180000000LL, INT_MIN},
    };
    SetGAClock([] { return qint64(1700000000); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        Options->SetGA({c.stored, 1600000000, 1012345678, 1876543210, 1650000000});
        TGA ga;
        EXPECT_EQ(ga.VisitCount, c.visitCount);
        EXPECT_EQ(Options->GA().Count, c.storedAfter);
    }
}

TEST_F(GATest, ProductionClockAndGenerator)
{
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    const quint32 now = UnixNow();
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    EXPECT_GE(qint64(now), before);
    EXPECT_LE(qint64(now), after + 1); // rounded to the nearest second

    std::set<quint32> seen;
    for (int i = 0; i < 1000; ++i) {
        const quint32 r = GARandom(7);
        ASSERT_LT(r, 7u);
        seen.insert(r);
    }
    EXPECT_EQ(seen.size(), 7u);

    TGA ga;
    EXPECT_GE(ga.VisitorHash, 1000000000);
    EXPECT_LE(ga.VisitorHash, 1089999998);
    EXPECT_GE(ga.VisitorId, 1000000000);
    EXPECT_LE(ga.VisitorId, 2147483646);
    EXPECT_GE(ga.CurrentVisit, before);
    EXPECT_LE(ga.CurrentVisit, after + 1);
}

TEST_F(GATest, CookieParamHasLowerCaseEscapesAndAnUpperCaseTail)
{
    SetGAClock([] { return qint64(1700000000); });
    TGA ga;
    ga.VisitorHash = 1012345678;
    ga.VisitorId = 1876543210;
    ga.FirstVisit = 1600000000;
    ga.PrevVisit = 1650000000;
    ga.CurrentVisit = 1700000000;
    ga.VisitCount = 7;
    EXPECT_EQ(ga.CookieParam().toStdString(),
              "&utmcc=__utma%3d1012345678.1876543210.1600000000.1650000000.1700000000.7"
              "%3b%2b__utmz%3d1012345678.1700000000.1.1"
              ".utmcsr=(direct)|utmccn=(direct)|utmcmd=(none)%3B");
}

TEST_F(GATest, HitGoesOutAsHttp10WithExactlyItsHeadersAndNoCookie)
{
    UpdateTestServer server;
    server.SetHitReply(200, "__utmx=7; path=/");
    const QString domain = CookieDomainOf(u"" QUILLBOX_GA_HOST ""_s);
    CookieJar->SetCookie(domain, u"old=1"_s);
    SetGAClock([] { return qint64(1700000000); });
    ScriptedRandom random{{11, 22, 33, 44}};
    UseScriptedRandom(random);

    TGA ga;
    const QString address = ga.TrackEvent(u"Load"_s, u"Quillbox"_s, u"3.01"_s, QString());

    const QString expected = Collector +
                             u"/__utm.gif?utmwv=4.6.5&utmn=1000000033&utmhn=" QUILLBOX_UPDATE_HOST
                             "&utmt=event&utme=5(Load*Quillbox*3.01)&utmhid=1000000044&utmcs=utf-8"
                             "&utmsr=1920x1080&utmsc=32-bit&utmul=ru&utmje=1&utmfl=10.1%20r52&utmr=-&utmp=%2F"
                             "&utmac=" QUILLBOX_GA_ACCOUNT
                             "&utmcc=__utma%3d1000000011.1000000022.1700000000.1700000000.1700000000.1"
                             "%3b%2b__utmz%3d1000000011.1700000000.1.1"
                             ".utmcsr=(direct)|utmccn=(direct)|utmcmd=(none)%3B"_s;
    EXPECT_EQ(Fields(address), Fields(expected));
    EXPECT_EQ(address, expected);

    const auto hits = server.Requests("/__utm.gif");
    ASSERT_EQ(hits.size(), 1u);
    const RecordedRequest& hit = hits[0];
    EXPECT_EQ(hit.method, "GET");
    EXPECT_EQ(hit.version, "HTTP/1.0");
    EXPECT_EQ(hit.target, address.mid(Collector.size()).toStdString()) << "the query goes out byte for byte";
    std::set<std::string> names;
    for (const auto& [name, value] : hit.headers)
        names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{"accept", "accept-encoding", "accept-language", "connection",
                                            "host", "referer", "user-agent"}));
    EXPECT_EQ(hit.host, QUILLBOX_GA_HOST);
    EXPECT_EQ(hit.headers.at("referer"), "http://" QUILLBOX_UPDATE_HOST "/");
    EXPECT_EQ(hit.headers.at("user-agent"), "Opera/9.80 (Windows NT 6.0; U; ru) Presto/2.5.24 Version/10.53");
    EXPECT_EQ(hit.headers.at("accept-language"), "ru,ru-RU;q=0.9,en;q=0.8");
    EXPECT_EQ(hit.headers.at("connection"), "close");
    EXPECT_EQ(hit.headers.at("accept"), "image/png,image/*;q=0.8,*/*;q=0.5");
    EXPECT_NE(hit.headers.at("accept-encoding").find("gzip"), std::string::npos);

    // The reply's cookie still reaches the jar.
    EXPECT_TRUE(CookieJar->GetCookieHeader(domain).contains(u"__utmx=7"_s))
        << CookieJar->GetCookieHeader(domain).toStdString();
}

TEST_F(GATest, EventFieldCarriesLabelAndValueOnlyWhenGiven)
{
    struct Case
    {
        QString category, action, label, value;
        std::string field;
    };
    const Case cases[] = {
        {u"Load"_s, u"Quillbox"_s, u"3.01"_s, {}, "utme=5(Load*Quillbox*3.01)"},
        {u"Load"_s, u"Quillbox"_s, {}, {}, "utme=5(Load*Quillbox)"},
        {u"Load"_s, u"Quillbox"_s, u"3.01"_s, u"42"_s, "utme=5(Load*Quillbox*3.01)(42)"},
        {u"Load"_s, u"Quillbox"_s, {}, u"42"_s, "utme=5(Load*Quillbox)(42)"},
        // Windows-1251 bytes, lower-case escapes, a blank as "+", "?" for what the code page lacks.
        {u"Загрузка"_s, u"a b"_s, u"x=y✓"_s, {}, "utme=5(%c7%e0%e3%f0%f3%e7%ea%e0*a+b*x%3dy%3f)"},
    };
    UpdateTestServer server;
    SetGAClock([] { return qint64(1700000000); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        TGA ga;
        const QString address = ga.TrackEvent(c.category, c.action, c.label, c.value);
        EXPECT_EQ(Field(address, u"utme"_s).toStdString(), c.field);
        const auto hits = server.Requests("/__utm.gif");
        ASSERT_FALSE(hits.empty());
        EXPECT_EQ(hits.back().target, address.mid(Collector.size()).toStdString());
    }
}

TEST_F(GATest, FailedHitRaisesAndStillCountsTheVisit)
{
    enum class Failure { NoServer, ErrorStatus };
    for (Failure failure : {Failure::NoServer, Failure::ErrorStatus}) {
        SCOPED_TRACE(int(failure));
        std::optional<UpdateTestServer> server;
        if (failure == Failure::NoServer) {
            HttpSetHostMapping(u"" QUILLBOX_GA_HOST ""_s, 80, ClosedPort());
        } else {
            server.emplace();
            server->SetHitReply(503);
        }
        Options->SetGA({5, 1500000000, 1012345678, 1876543210, 1600000000});
        SetGAClock([] { return qint64(1700000000); });
        {
            TGA ga;
            EXPECT_THROW(ga.TrackEvent(u"Load"_s, u"Quillbox"_s, u"3.01"_s, QString()), Exception);
        }
        const TGAValues stored = Options->GA();
        EXPECT_EQ(stored.Count, 6);
        EXPECT_EQ(stored.PrevTime, 1700000000);
        EXPECT_EQ(stored.FirstTime, 1500000000);
        EXPECT_EQ(stored.Hash, 1012345678);
        EXPECT_EQ(stored.ID, 1876543210);
        server.reset();
        HttpClearHostMappings();
    }
}
