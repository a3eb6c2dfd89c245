#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QString>

class TAccount
{
public:
    QString Password;
    QString Login;
    QString DisplayName;
    // The password line as read when it could not be unscrambled; written back unchanged while
    // Password is still empty, so nothing stored is lost.
    QString UndecodedPasswordLine;
};

// The ordered list of saved accounts; owns them.
class TAccountList
{
public:
    int Count() const { return int(m_items.size()); }
    TAccount* operator[](int index) const { return m_items[size_t(index)].get(); }
    int IndexOf(const TAccount* account) const; // by identity; -1 when absent
    void Delete(int index);
    TAccount* Add(); // used by AddAccount only

private:
    std::vector<std::unique_ptr<TAccount>> m_items;
};

extern TAccountList* Accounts;
// The main window's add-account flow; empty until the main window exists.
extern std::function<void()> OnAddAccount;

TAccount* AddAccount(const QString& login, const QString& password);
void LoadAccounts(); // creates Accounts and fills it from DataFolder + "acc.lst"
// Writes acc.lst atomically (owner-only) and releases Accounts. Returns the error text, empty on success.
QString SaveAccounts();
// Releases Accounts without writing (a second instance).
void DiscardAccounts();
