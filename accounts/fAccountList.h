#pragma once

#include <QDialog>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TAccount;

// The account chooser over Accounts: double-click picks, " Удалить" removes, " Добавить" runs
// OnAddAccount and then ends with Cancel.
class TfrmAccountList : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAccountList(QWidget* parent = nullptr);
    QTreeWidget* vUsers;
    QPushButton* btnAdd;
    QPushButton* btnDel;
    TAccount* Chosen = nullptr; // set only when the dialog ends with OK

    void vUsersDblClick();
    void btnDelClick();
    void btnAddClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
