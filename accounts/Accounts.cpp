#include "accounts/Accounts.h"

#include <QFile>
#include <QFileInfo>

#include "accounts/CryptStr.h"
#include "net/CodePage.h"
#include "net/TextFile.h"
#include "settings/SaveFile.h"
#include "settings/uOptions.h"

using namespace Qt::StringLiterals;

TAccountList* Accounts = nullptr;
std::function<void()> OnAddAccount;

namespace {

// Set when acc.lst existed but could not be read: writing the (empty) list over it at the end
// would destroy accounts the user still has.
QString g_loadError;

QString AccountsPath()
{
    return Options ? Options->DataFolder() + u"acc.lst"_s : QString();
}

// A line break inside a field would shift every later record by a line, turning passwords into
// logins; a blank takes its place.
void AppendLine(QByteArray& out, const QString& field)
{
    QByteArray bytes = ToAnsi(field);
    bytes.replace('\r', ' ').replace('\n', ' ');
    out += bytes;
    out += "\r\n";
}

} // namespace

int TAccountList::IndexOf(const TAccount* account) const
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].get() == account)
            return int(i);
    }
    return -1;
}

void TAccountList::Delete(int index)
{
    m_items.erase(m_items.begin() + index);
}

TAccount* TAccountList::Add()
{
    m_items.push_back(std::make_unique<TAccount>());
    return m_items.back().get();
}

TAccount* AddAccount(const QString& login, const QString& password)
{
    TAccount* account = Accounts->Add();
    account->Login = login;
    account->Password = password;
    return account;
}

void LoadAccounts()
{
    delete Accounts;
    Accounts = new TAccountList;
    g_loadError.clear();
    const QString path = AccountsPath();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        g_loadError = file.errorString();
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        g_loadError = file.errorString();
        return;
    }
    const QStringList lines = SplitLines(DecodeTextFile(bytes));
    const qsizetype n = lines.size() / 3;
    for (qsizetype k = 0; k < n; ++k) {
        const QString& passwordLine = lines[3 * k + 2];
        std::optional<QString> password = TryUnscramble(passwordLine);
        TAccount* account = AddAccount(lines[3 * k + 1], password.value_or(QString()));
        account->DisplayName = lines[3 * k];
        if (!password)
            account->UndecodedPasswordLine = passwordLine;
    }
}

QString SaveAccounts()
{
    if (!Accounts)
        return u"Список аккаунтов не загружен"_s;
    QString error;
    const QString path = AccountsPath();
    if (path.isEmpty()) {
        error = u"Папка данных неизвестна"_s;
    } else if (!g_loadError.isEmpty()) {
        error = u"Файл %1 не перезаписан: при запуске его не удалось прочитать (%2)"_s.arg(path, g_loadError);
    } else {
        QByteArray out;
        out.reserve(qsizetype(Accounts->Count()) * 48);
        for (int i = 0; i < Accounts->Count(); ++i) {
            const TAccount* a = (*Accounts)[i];
            AppendLine(out, a->DisplayName);
            AppendLine(out, a->Login);
            // A line that could not be decoded goes back as read, unless a password was set since.
            if (a->Password.isEmpty() && !a->UndecodedPasswordLine.isEmpty()) {
                AppendLine(out, a->UndecodedPasswordLine);
            } else {
                out += ScrambleAnsi(ToAnsi(a->Password));
                out += "\r\n";
            }
        }
        const QString reason = SaveToFile(path, out, true);
        if (!reason.isEmpty())
            error = u"Не удалось записать %1: %2"_s.arg(path, reason);
    }
    DiscardAccounts();
    return error;
}

void DiscardAccounts()
{
    delete Accounts;
    Accounts = nullptr;
    g_loadError.clear();
}
