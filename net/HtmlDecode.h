#pragma once

#include <QString>

// Decodes HTML character references (named Latin-1 entities and numeric ones) in linear time.
QString HtmlDecode(const QString& s);
