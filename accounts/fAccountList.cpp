#include "accounts/fAccountList.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "accounts/AccountIcons.h"
#include "accounts/Accounts.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kClientWidth = 276;
constexpr int kClientHeight = 138;
constexpr int kStripHeight = 28;
constexpr int kColumnWidth = 126;
constexpr int kAccountRole = Qt::UserRole;

TAccount* AccountOf(const QTreeWidgetItem* item)
{
    return reinterpret_cast<TAccount*>(item->data(0, kAccountRole).value<quintptr>());
}

QPushButton* MakeStripButton(const QIcon& icon, const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(icon, text, parent);
    button->setFlat(true);
    // Enter in the list must not add or delete an account.
    button->setAutoDefault(false);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    return button;
}

} // namespace

TfrmAccountList::TfrmAccountList(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"frmAccountList"_s);
    setWindowTitle(u"Лист пользователей"_s);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    vUsers = new QTreeWidget(this);
    vUsers->setObjectName(u"vUsers"_s);
    vUsers->setFrameShape(QFrame::NoFrame);
    vUsers->setHeaderHidden(true);
    vUsers->setRootIsDecorated(false);
    vUsers->setSelectionBehavior(QAbstractItemView::SelectRows);
    vUsers->setSelectionMode(QAbstractItemView::SingleSelection);
    vUsers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    vUsers->setColumnCount(2);
    vUsers->setHeaderLabels({u"Пользователь"_s, u"Логин"_s});
    vUsers->header()->setStretchLastSection(false);
    vUsers->setColumnWidth(0, kColumnWidth);
    vUsers->setColumnWidth(1, kColumnWidth);
    // The whole list reacts to a double-click, also below the last row, as long as a row is selected.
    vUsers->viewport()->installEventFilter(this);

    auto* Panel1 = new QWidget(this);
    Panel1->setObjectName(u"Panel1"_s);
    Panel1->setFixedHeight(kStripHeight);
    btnAdd = MakeStripButton(AddAccountIcon(), u" Добавить"_s, Panel1);
    btnAdd->setObjectName(u"btnAdd"_s);
    btnDel = MakeStripButton(DeleteAccountIcon(), u" Удалить"_s, Panel1);
    btnDel->setObjectName(u"btnDel"_s);
    connect(btnAdd, &QPushButton::clicked, this, &TfrmAccountList::btnAddClick);
    connect(btnDel, &QPushButton::clicked, this, &TfrmAccountList::btnDelClick);

    auto* strip = new QHBoxLayout(Panel1);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setSpacing(0);
    strip->addWidget(btnAdd, 1);
    strip->addWidget(btnDel, 1);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addWidget(vUsers);
    root->addWidget(Panel1);
    setFixedSize(kClientWidth, kClientHeight);

    vUsers->clear();
    if (Accounts) {
        for (int i = 0; i < Accounts->Count(); ++i) {
            TAccount* account = (*Accounts)[i];
            auto* item = new QTreeWidgetItem(vUsers, {account->DisplayName, account->Login});
            item->setData(0, kAccountRole, QVariant::fromValue(reinterpret_cast<quintptr>(account)));
        }
    }
}

bool TfrmAccountList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == vUsers->viewport() && event->type() == QEvent::MouseButtonDblClick)
        vUsersDblClick();
    return QDialog::eventFilter(watched, event);
}

void TfrmAccountList::vUsersDblClick()
{
    const QList<QTreeWidgetItem*> selected = vUsers->selectedItems();
    if (selected.isEmpty())
        return;
    TAccount* account = AccountOf(selected.first());
    // Only an account that is still in the list may be handed out.
    if (!Accounts || Accounts->IndexOf(account) < 0)
        return;
    Chosen = account;
    accept();
}

void TfrmAccountList::btnDelClick()
{
    const QList<QTreeWidgetItem*> selected = vUsers->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem* item = selected.first();
    const TAccount* account = AccountOf(item);
    delete item;
    // The view would move the selection to a neighbour; a second press must not delete it too.
    vUsers->clearSelection();
    const int index = Accounts ? Accounts->IndexOf(account) : -1;
    if (index >= 0)
        Accounts->Delete(index);
}

void TfrmAccountList::btnAddClick()
{
    // Cancel whether or not an account was added, also when the add-account flow fails.
    struct CancelAtEnd
    {
        QDialog* dialog;
        ~CancelAtEnd() { dialog->reject(); }
    } cancel{this};
    if (OnAddAccount)
        OnAddAccount();
}
