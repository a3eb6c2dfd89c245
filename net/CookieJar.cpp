#include "CookieJar.h"

#include <memory>

#include "AsyncHttp.h"
#include "StrRepl.h"
#include "Web.h"

using namespace Qt::StringLiterals;

TCookieList* CookieJar = nullptr;

namespace {

std::unique_ptr<TCookieList> s_jar;

// The jar never shares string data with its callers: each thread then owns what it holds, and no
// reference count is touched from two threads (ThreadSanitizer cannot see Qt's, inside QtCore).
QString Detached(const QString& s)
{
    return QString(s.constData(), s.size());
}

TCookie DetachedCopy(const TCookie& cookie)
{
    TCookie copy;
    copy.Domain = Detached(cookie.Domain);
    copy.Values.reserve(cookie.Values.size());
    for (const QString& line : cookie.Values)
        copy.Values.append(Detached(line));
    return copy;
}

QString CookieName(const QString& pair)
{
    const qsizetype eq = pair.indexOf(u'=');
    return eq < 0 ? pair : pair.left(eq);
}

} // namespace

std::optional<TCookie> TCookieList::Find(const QString& domain) const
{
    std::lock_guard lock(m_lock);
    for (const TCookie& cookie : m_cookies) {
        if (cookie.Domain == domain)
            return DetachedCopy(cookie);
    }
    return std::nullopt;
}

void TCookieList::SetCookie(const QString& domain, const QString& pair)
{
    std::lock_guard lock(m_lock);
    TCookie* cookie = nullptr;
    for (TCookie& c : m_cookies) {
        if (c.Domain == domain) {
            cookie = &c;
            break;
        }
    }
    if (!cookie) {
        m_cookies.push_back(TCookie{{}, Detached(domain)});
        cookie = &m_cookies.back();
    }
    const QString name = CookieName(pair);
    for (QString& line : cookie->Values) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq >= 0 && QStringView(line).left(eq).compare(name, Qt::CaseInsensitive) == 0) {
            line = Detached(pair);
            return;
        }
    }
    cookie->Values.append(Detached(pair));
}

QString TCookieList::GetCookieHeader(const QString& domain) const
{
    std::lock_guard lock(m_lock);
    QString header;
    for (const TCookie& cookie : m_cookies) {
        if (cookie.Domain != domain)
            continue;
        for (const QString& line : cookie.Values) {
            if (!header.isEmpty())
                header += u' ';
            header += line + u';';
        }
        break;
    }
    return header;
}

int TCookieList::Count() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_cookies.size());
}

void CookieJarStart()
{
    if (!s_jar)
        s_jar = std::make_unique<TCookieList>();
    CookieJar = s_jar.get();
}

void CookieJarStop()
{
    CookieJar = nullptr;
    s_jar.reset();
}

QString CookieDomainOf(const QString& address)
{
    QString rest = FastReplace(address, u"http://"_s, QString(), false);
    const qsizetype slash = rest.indexOf(u'/');
    if (slash >= 0)
        rest.truncate(slash);
    QString label;
    for (qsizetype dot = rest.indexOf(u'.'); dot >= 0; dot = rest.indexOf(u'.')) {
        label = rest.left(dot);
        rest.remove(0, dot + 1);
    }
    const QString domain = label + u'.' + rest;
    return domain == u"."_s ? QString() : domain;
}

void TAsyncHttp::HandleSetCookie(TAsyncHttp*, const QString& value, bool&)
{
    if (!CookieJar)
        return;
    const std::unique_ptr<TRegEx> re = CreateRegEx(value, u"(.*?);.*?(?:domain=(.*?))?(?:$|;)"_s);
    if (!re->Match())
        return;
    QString domain = CookieDomainOf(re->Group(2));
    if (domain.isEmpty())
        domain = CookieDomainOf(URL); // the requested address, also for a redirect's reply
    CookieJar->SetCookie(domain, re->Group(1));
}

void TAsyncHttp::PrepareCookies()
{
    Cookie = CookieJar ? CookieJar->GetCookieHeader(CookieDomainOf(URL)) : QString();
}
