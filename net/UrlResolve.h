#pragma once

#include <QByteArray>

// The absolute address a redirect's Location names, resolved against the address it came from (RFC 3986
// section 5.2). Characters are kept as they arrived, the fragment included.
QByteArray ResolveReference(const QByteArray& base, const QByteArray& reference);
// The scheme of an absolute address in lower case, empty when it has none.
QByteArray UrlScheme(const QByteArray& url);
// The address as it goes to libcurl: no fragment, and blanks, control and non-ASCII bytes percent-encoded
// (libcurl refuses a blank).
QByteArray WireUrl(const QByteArray& url);
