#pragma once

#include <memory>

#include <QByteArray>
#include <QString>

// A Perl-compatible expression bound to one subject: caseless, dot-all, UTF-8, any newline.
class TRegEx
{
public:
    ~TRegEx();
    TRegEx(const TRegEx&) = delete;
    TRegEx& operator=(const TRegEx&) = delete;

    bool IsValid() const;  // false when the pattern did not compile
    bool Match();          // first match
    bool MatchAgain();     // next match after the previous one (one character on after an empty one)
    int GroupCount() const;  // highest group that took part in the last match
    QString Group(int n) const;  // empty for a group beyond the count or one that took no part

private:
    friend std::unique_ptr<TRegEx> CreateRegEx(const QString& subject, const QString& pattern);
    TRegEx();
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

std::unique_ptr<TRegEx> CreateRegEx(const QString& subject, const QString& pattern);
// group1 is changed only when the pattern matched.
bool FirstMatchGroup(const QString& subject, const QString& pattern, QString& group1);
