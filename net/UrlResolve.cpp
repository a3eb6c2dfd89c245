#include "UrlResolve.h"

namespace {

struct UrlParts
{
    QByteArray scheme; // without ":"
    bool hasAuthority = false;
    QByteArray authority;
    QByteArray path;
    bool hasQuery = false;
    QByteArray query;
    bool hasFragment = false;
    QByteArray fragment;
};

bool IsSchemeChar(char c, bool first)
{
    const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (first)
        return alpha;
    return alpha || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

int SchemeLength(const QByteArray& s)
{
    for (int i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ':')
            return i > 0 ? i : -1;
        if (!IsSchemeChar(c, i == 0))
            return -1;
    }
    return -1;
}

UrlParts Split(const QByteArray& s)
{
    UrlParts p;
    QByteArray rest = s;
    const int hash = rest.indexOf('#');
    if (hash >= 0) {
        p.hasFragment = true;
        p.fragment = rest.mid(hash + 1);
        rest.truncate(hash);
    }
    const int question = rest.indexOf('?');
    if (question >= 0) {
        p.hasQuery = true;
        p.query = rest.mid(question + 1);
        rest.truncate(question);
    }
    const int schemeLen = SchemeLength(rest);
    if (schemeLen > 0) {
        p.scheme = rest.left(schemeLen);
        rest.remove(0, schemeLen + 1);
    }
    if (rest.startsWith("//")) {
        p.hasAuthority = true;
        int end = rest.indexOf('/', 2);
        if (end < 0)
            end = rest.size();
        p.authority = rest.mid(2, end - 2);
        rest.remove(0, end);
    }
    p.path = rest;
    return p;
}

QByteArray RemoveDotSegments(QByteArray in)
{
    QByteArray out;
    while (!in.isEmpty()) {
        if (in.startsWith("../")) {
            in.remove(0, 3);
        } else if (in.startsWith("./")) {
            in.remove(0, 2);
        } else if (in.startsWith("/./")) {
            in.remove(0, 2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.startsWith("/../") || in == "/..") {
            in = in.size() == 3 ? QByteArray("/") : in.mid(3);
            const int slash = out.lastIndexOf('/');
            out.truncate(slash < 0 ? 0 : slash);
        } else if (in == "." || in == "..") {
            in.clear();
        } else {
            int next = in.indexOf('/', in.startsWith('/') ? 1 : 0);
            if (next < 0)
                next = in.size();
            out += in.left(next);
            in.remove(0, next);
        }
    }
    return out;
}

QByteArray Merge(const UrlParts& base, const QByteArray& refPath)
{
    if (base.hasAuthority && base.path.isEmpty())
        return '/' + refPath;
    const int slash = base.path.lastIndexOf('/');
    return base.path.left(slash + 1) + refPath;
}

QByteArray Join(const UrlParts& p)
{
    QByteArray out;
    if (!p.scheme.isEmpty())
        out += p.scheme + ':';
    if (p.hasAuthority)
        out += "//" + p.authority;
    out += p.path;
    if (p.hasQuery)
        out += '?' + p.query;
    if (p.hasFragment)
        out += '#' + p.fragment;
    return out;
}

} // namespace

QByteArray ResolveReference(const QByteArray& base, const QByteArray& reference)
{
    const QByteArray ref = reference.trimmed();
    const UrlParts r = Split(ref);
    if (!r.scheme.isEmpty())
        return ref; // already absolute: keep every byte as the server sent it
    const UrlParts b = Split(base);
    UrlParts t;
    t.scheme = b.scheme;
    if (r.hasAuthority) {
        t.hasAuthority = true;
        t.authority = r.authority;
        t.path = RemoveDotSegments(r.path);
        t.hasQuery = r.hasQuery;
        t.query = r.query;
    } else {
        t.hasAuthority = b.hasAuthority;
        t.authority = b.authority;
        if (r.path.isEmpty()) {
            t.path = b.path;
            t.hasQuery = r.hasQuery || b.hasQuery;
            t.query = r.hasQuery ? r.query : b.query;
        } else {
            t.path = RemoveDotSegments(r.path.startsWith('/') ? r.path : Merge(b, r.path));
            t.hasQuery = r.hasQuery;
            t.query = r.query;
        }
    }
    t.hasFragment = r.hasFragment;
    t.fragment = r.fragment;
    return Join(t);
}

QByteArray UrlScheme(const QByteArray& url)
{
    const QByteArray s = url.trimmed();
    const int len = SchemeLength(s);
    return len > 0 ? s.left(len).toLower() : QByteArray();
}

QByteArray WireUrl(const QByteArray& url)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(url.size());
    for (const char ch : url) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '#')
            break;
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}
