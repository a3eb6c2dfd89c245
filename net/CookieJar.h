#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

struct TCookie
{
    QStringList Values;  // name=value lines, in order of first arrival
    QString Domain;
};

// The process-wide cookie store. Every operation holds one lock, so both threads may use it.
class TCookieList
{
public:
    std::optional<TCookie> Find(const QString& domain) const;  // a copy, taken under the lock
    void SetCookie(const QString& domain, const QString& pair);
    QString GetCookieHeader(const QString& domain) const;
    int Count() const;

private:
    mutable std::mutex m_lock;
    std::vector<TCookie> m_cookies;
};

extern TCookieList* CookieJar;

void CookieJarStart();  // creates CookieJar
void CookieJarStop();   // releases it

// The last two labels of a host ("http://" removed, path dropped); see the tests for the rules.
QString CookieDomainOf(const QString& address);
