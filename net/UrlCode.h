#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Percent-encoding of 8-bit form values, byte-exact as the servers expect it.
QByteArray UrlEncode(QByteArrayView s);
// Raises Exception on a malformed escape.
QByteArray UrlDecode(QByteArrayView s);
