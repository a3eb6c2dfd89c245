#include "AccList.h"

#include <QDir>
#include <QFile>

#include "accounts/CryptStr.h"
#include "net/CodePage.h"

QByteArray AccListBytes(const QList<SavedAccount>& accounts)
{
    QByteArray out;
    for (const SavedAccount& a : accounts) {
        for (const QString& line : {a.displayName, a.login, Scramble(a.password)}) {
            out += ToAnsi(line);
            out += "\r\n";
        }
    }
    return out;
}

QString WriteAccList(const QString& dataFolder, const QList<SavedAccount>& accounts)
{
    if (!QDir().mkpath(dataFolder))
        return QStringLiteral("cannot create %1").arg(dataFolder);
    QFile file(QDir(dataFolder).filePath(QStringLiteral("acc.lst")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return file.errorString();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray bytes = AccListBytes(accounts);
    if (file.write(bytes) != bytes.size() || !file.flush())
        return file.errorString();
    return {};
}
