#include "app/LogTime.h"

#include <vector>

namespace {

bool IsOpening(QChar c)
{
    return c == u'(' || c == u'[';
}

bool IsClosing(QChar c)
{
    return c == u')' || c == u']';
}

bool Encloses(QChar open, QChar close)
{
    return (open == u'(' && close == u')') || (open == u'[' && close == u']');
}

} // namespace

QString LogTimeFormat(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    // Which characters stand inside quotes ('' is a quote character, quoted or not).
    std::vector<bool> literal;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == u'\'') {
            if (i + 1 < format.size() && format[i + 1] == u'\'') {
                literal.insert(literal.end(), {true, true});
                ++i;
                continue;
            }
            quoted = !quoted;
            literal.push_back(true);
            continue;
        }
        literal.push_back(quoted);
    }

    QString out = format;
    auto plain = [&](qsizetype k) { return !literal[size_t(k)]; };
    auto blank = [&](qsizetype k) { return plain(k) && out[k].isSpace(); };
    for (qsizetype i = 0; i < out.size();) {
        if (!plain(i) || out[i] != u't') {
            ++i;
            continue;
        }
        // The unquoted run of 't' (the zone field), then the brackets that enclose it only.
        qsizetype begin = i;
        qsizetype end = i;
        while (end < out.size() && plain(end) && out[end] == u't')
            ++end;
        for (;;) {
            while (begin > 0 && blank(begin - 1))
                --begin;
            while (end < out.size() && blank(end))
                ++end;
            if (begin > 0 && end < out.size() && plain(begin - 1) && plain(end) &&
                Encloses(out[begin - 1], out[end])) {
                --begin;
                ++end;
                continue;
            }
            break;
        }
        // Between two remaining parts one blank stays as their separator.
        const bool separate =
            begin > 0 && end < out.size() && !IsOpening(out[begin - 1]) && !IsClosing(out[end]);
        out.remove(begin, end - begin);
        literal.erase(literal.begin() + begin, literal.begin() + end);
        if (separate) {
            out.insert(begin, u' ');
            literal.insert(literal.begin() + begin, false);
            ++begin;
        }
        i = begin;
    }
    return out;
}

QString FormatLogTime(const QTime& time, const QLocale& locale)
{
    return locale.toString(time, LogTimeFormat(locale));
}
