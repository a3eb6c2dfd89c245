#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct SavedAccount
{
    QString displayName;
    QString login;
    QString password;
};

// The bytes of acc.lst as the program stores them: three 8-bit lines per account (display name,
// login, scrambled password), each ending with CR LF.
QByteArray AccListBytes(const QList<SavedAccount>& accounts);
// Writes acc.lst into a data folder (created when missing), readable by its owner only.
// Returns the error text, empty on success.
QString WriteAccList(const QString& dataFolder, const QList<SavedAccount>& accounts);
