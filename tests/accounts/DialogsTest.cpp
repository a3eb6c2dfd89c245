#include <functional>
#include <stdexcept>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "accounts/Accounts.h"
#include "accounts/fAccount.h"
#include "accounts/fAccountList.h"

using namespace Qt::StringLiterals;

namespace {

// Runs the answer once the next modal dialog is up, from inside its event loop. Should none come
// up, the test fails and every open dialog is cancelled rather than hanging.
void WhenModal(std::function<void(QWidget*)> answer)
{
    auto poll = std::make_shared<std::function<void()>>();
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    *poll = [answer, poll, timer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            answer(modal);
            *poll = nullptr; // breaks the cycle
        } else if (timer->hasExpired(5000)) {
            ADD_FAILURE() << "no modal dialog came up";
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* dialog = qobject_cast<QDialog*>(w))
                    dialog->reject();
            }
            *poll = nullptr;
        } else {
            QTimer::singleShot(5, qApp, *poll);
        }
    };
    QTimer::singleShot(0, qApp, *poll);
}

template <typename T> T* Child(QWidget* parent, const char* name)
{
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

class DialogsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        delete Accounts;
        Accounts = new TAccountList;
        m_ivan = AddAccount(u"ivan@example.org"_s, u"secret1"_s);
        m_ivan->DisplayName = u"Иван Петров"_s;
        m_nameless = AddAccount(u"nameless@example.org"_s, u"secret2"_s);
        m_anna = AddAccount(u"anna@example.org"_s, u"secret3"_s);
        m_anna->DisplayName = u"Анна"_s;
        m_parent.setGeometry(200, 150, 396, 144);
        m_parent.show();
    }
    void TearDown() override
    {
        OnAddAccount = nullptr;
        DiscardAccounts();
    }
    static QPoint RowCenter(TfrmAccountList& list, int row)
    {
        return list.vUsers->visualItemRect(list.vUsers->topLevelItem(row)).center();
    }

    QWidget m_parent;
    TAccount* m_ivan = nullptr;
    TAccount* m_nameless = nullptr;
    TAccount* m_anna = nullptr;
};

} // namespace

TEST_F(DialogsTest, LoginDialogWidgets)
{
    TfrmAccount dialog(&m_parent);
    EXPECT_EQ(dialog.windowTitle(), u"Авторизация"_s);
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.maximumWidth(), 175);
    EXPECT_GE(dialog.maximumHeight(), dialog.sizeHint().height());
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(Child<QLabel>(&dialog, "Label1")->text(), u"Аккаунт пользователя:"_s);
    EXPECT_EQ(Child<QLabel>(&dialog, "Label2")->text(), u"Пароль:"_s);
    EXPECT_EQ(Child<QLineEdit>(&dialog, "edtUsername"), dialog.edtUsername);
    EXPECT_EQ(Child<QLineEdit>(&dialog, "edtPassword"), dialog.edtPassword);
    QWidget* panel = Child<QWidget>(&dialog, "Panel1");
    QPushButton* send = Child<QPushButton>(panel, "btnSend");
    EXPECT_EQ(send, dialog.btnSend);
    EXPECT_EQ(send->text(), u"Добавить"_s);
    EXPECT_TRUE(send->isDefault());
    EXPECT_FALSE(send->icon().isNull());
    QWidget* next = dialog.edtUsername->nextInFocusChain();
    while (next && !(next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    EXPECT_EQ(next, dialog.edtPassword);

    dialog.edtPassword->setText(u"абв1"_s);
    EXPECT_EQ(dialog.edtPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.edtPassword->displayText(), u"****"_s);
    EXPECT_EQ(dialog.edtPassword->text(), u"абв1"_s);
}

TEST_F(DialogsTest, LoginDialogEndsWithOkOrCancel)
{
    const struct
    {
        const char* label;
        QString login, password;
        std::function<void(TfrmAccount*)> act;
        int result;
    } cases[] = {
        {"button, nothing typed",
         {},
         {},
         [](TfrmAccount* d) { QTest::mouseClick(d->btnSend, Qt::LeftButton); },
         QDialog::Accepted},
        {"Enter, filled in by the caller", u" user "_s, u"p a s s"_s,
         [](TfrmAccount* d) { QTest::keyClick(d->edtPassword, Qt::Key_Return); }, QDialog::Accepted},
        {"Escape", u"user"_s, u"pass"_s,
         [](TfrmAccount* d) { QTest::keyClick(d->edtUsername, Qt::Key_Escape); }, QDialog::Rejected},
        {"closed through the frame", u"user"_s, u"pass"_s, [](TfrmAccount* d) { d->close(); },
         QDialog::Rejected},
    };
    for (const auto& c : cases) {
        TfrmAccount dialog(&m_parent);
        dialog.edtUsername->setText(c.login);
        dialog.edtPassword->setText(c.password);
        bool answered = false;
        WhenModal([&](QWidget* modal) {
            answered = modal == &dialog;
            EXPECT_TRUE(answered) << c.label;
            EXPECT_EQ(dialog.focusWidget(), dialog.edtUsername) << c.label;
            EXPECT_LE((dialog.frameGeometry().center() - m_parent.frameGeometry().center()).manhattanLength(),
                      2)
                << c.label;
            c.act(&dialog);
            if (modal != &dialog)
                modal->close();
        });
        EXPECT_EQ(dialog.exec(), c.result) << c.label;
        EXPECT_TRUE(answered) << c.label;
        EXPECT_EQ(dialog.edtUsername->text(), c.login) << c.label;
        EXPECT_EQ(dialog.edtPassword->text(), c.password) << c.label;
    }
}

TEST_F(DialogsTest, ChooserListsEveryAccountWithoutPasswords)
{
    TfrmAccountList chooser(&m_parent);
    chooser.show();
    EXPECT_EQ(chooser.windowTitle(), u"Лист пользователей"_s);
    EXPECT_EQ(chooser.minimumSize(), QSize(276, 138));
    EXPECT_EQ(chooser.maximumSize(), QSize(276, 138));
    QTreeWidget* list = Child<QTreeWidget>(&chooser, "vUsers");
    ASSERT_EQ(list, chooser.vUsers);
    EXPECT_EQ(list->frameShape(), QFrame::NoFrame);
    EXPECT_TRUE(list->isHeaderHidden());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    ASSERT_EQ(list->columnCount(), 2);
    EXPECT_EQ(list->headerItem()->text(0), u"Пользователь"_s);
    EXPECT_EQ(list->headerItem()->text(1), u"Логин"_s);
    EXPECT_EQ(list->columnWidth(0), 126);
    EXPECT_EQ(list->columnWidth(1), 126);

    const QStringList expected[] = {{u"Иван Петров"_s, u"ivan@example.org"_s},
                                    {QString(), u"nameless@example.org"_s},
                                    {u"Анна"_s, u"anna@example.org"_s}};
    ASSERT_EQ(list->topLevelItemCount(), 3);
    for (int row = 0; row < 3; ++row) {
        const QTreeWidgetItem* item = list->topLevelItem(row);
        EXPECT_EQ((QStringList{item->text(0), item->text(1)}), expected[row]) << row;
        for (int column = 0; column < item->columnCount(); ++column)
            EXPECT_FALSE(item->text(column).startsWith(u"secret"_s));
    }

    QWidget* panel = Child<QWidget>(&chooser, "Panel1");
    QPushButton* add = Child<QPushButton>(panel, "btnAdd");
    QPushButton* del = Child<QPushButton>(panel, "btnDel");
    ASSERT_EQ(add, chooser.btnAdd);
    ASSERT_EQ(del, chooser.btnDel);
    EXPECT_EQ(add->text(), u" Добавить"_s);
    EXPECT_EQ(del->text(), u" Удалить"_s);
    EXPECT_TRUE(add->isFlat() && del->isFlat());
    EXPECT_FALSE(add->icon().isNull() || del->icon().isNull());
    EXPECT_EQ(panel->geometry(), QRect(0, 138 - 28, 276, 28));
    EXPECT_EQ(add->geometry(), QRect(0, 0, 138, 28));
    EXPECT_EQ(del->geometry(), QRect(138, 0, 138, 28));
    EXPECT_EQ(list->geometry(), QRect(0, 0, 276, 138 - 28));
}

TEST_F(DialogsTest, DoubleClickChoosesOnlyWithASelectedRow)
{
    TfrmAccountList chooser(&m_parent);
    chooser.show();
    QWidget* viewport = chooser.vUsers->viewport();
    // Below the last row nothing gets selected, so nothing happens. QTest sends a double-click
    // alone, so the click that precedes it is sent first.
    const QPoint below(60, viewport->height() - 3);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, below);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, below);
    chooser.vUsersDblClick();
    EXPECT_TRUE(chooser.isVisible());
    EXPECT_EQ(chooser.result(), QDialog::Rejected);
    EXPECT_EQ(chooser.Chosen, nullptr);
    chooser.hide(); // exec() makes only a hidden dialog modal

    bool answered = false;
    WhenModal([&](QWidget* modal) {
        answered = modal == &chooser;
        QTest::mouseClick(viewport, Qt::LeftButton, {}, RowCenter(chooser, 1));
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, RowCenter(chooser, 1));
        if (!answered || chooser.isVisible())
            modal->close();
    });
    EXPECT_EQ(chooser.exec(), QDialog::Accepted);
    EXPECT_TRUE(answered);
    EXPECT_EQ(chooser.Chosen, m_nameless);
}

TEST_F(DialogsTest, DeleteRemovesTheSelectedAccountAndStaysOpen)
{
    TfrmAccountList chooser(&m_parent);
    chooser.show();
    chooser.btnDelClick(); // nothing selected
    EXPECT_EQ(Accounts->Count(), 3);
    EXPECT_EQ(chooser.vUsers->topLevelItemCount(), 3);

    QTest::mouseClick(chooser.vUsers->viewport(), Qt::LeftButton, {}, RowCenter(chooser, 1));
    QTest::mouseClick(chooser.btnDel, Qt::LeftButton);
    ASSERT_EQ(Accounts->Count(), 2);
    EXPECT_EQ((*Accounts)[0], m_ivan);
    EXPECT_EQ((*Accounts)[1], m_anna);
    ASSERT_EQ(chooser.vUsers->topLevelItemCount(), 2);
    EXPECT_EQ(chooser.vUsers->topLevelItem(1)->text(1), u"anna@example.org"_s);
    EXPECT_TRUE(chooser.isVisible());

    chooser.btnDelClick(); // the selection went with the row
    EXPECT_EQ(Accounts->Count(), 2);
}

TEST_F(DialogsTest, DeletingEveryAccountLeavesAnEmptyOpenList)
{
    TfrmAccountList chooser(&m_parent);
    chooser.show();
    while (chooser.vUsers->topLevelItemCount() > 0) {
        chooser.vUsers->setCurrentItem(chooser.vUsers->topLevelItem(0));
        chooser.btnDelClick();
    }
    EXPECT_EQ(Accounts->Count(), 0);
    EXPECT_TRUE(chooser.isVisible());
}

// " Добавить" runs the add-account flow with the chooser still open beneath it, then cancels
// whatever happened, and the rows are not refreshed first.
TEST_F(DialogsTest, AddRunsTheFlowThenCancels)
{
    int flows = 0;
    OnAddAccount = [&] {
        ++flows;
        TfrmAccount login(QApplication::activeModalWidget());
        WhenModal([&](QWidget* modal) {
            EXPECT_EQ(modal, &login);
            login.edtUsername->setText(u"new@example.org"_s);
            login.edtPassword->setText(u"pw"_s);
            login.btnSend->click();
        });
        ASSERT_EQ(login.exec(), QDialog::Accepted);
        AddAccount(login.edtUsername->text(), login.edtPassword->text())->DisplayName = u"Новый"_s;
    };
    TfrmAccountList chooser(&m_parent);
    WhenModal([&](QWidget* modal) {
        EXPECT_EQ(modal, &chooser);
        QTest::mouseClick(chooser.btnAdd, Qt::LeftButton);
        EXPECT_EQ(chooser.vUsers->topLevelItemCount(), 3);
        if (chooser.isVisible())
            modal->close();
    });
    EXPECT_EQ(chooser.exec(), QDialog::Rejected);
    EXPECT_EQ(flows, 1);
    EXPECT_EQ(chooser.Chosen, nullptr);
    ASSERT_EQ(Accounts->Count(), 4);
    EXPECT_EQ((*Accounts)[3]->Login, u"new@example.org"_s);

    // Without a flow, and when the flow fails, the chooser still ends with Cancel.
    for (const bool fails : {false, true}) {
        OnAddAccount = fails ? std::function<void()>([] { throw std::runtime_error("flow failed"); })
                             : std::function<void()>();
        TfrmAccountList again(&m_parent);
        again.show();
        if (fails)
            EXPECT_THROW(again.btnAddClick(), std::runtime_error);
        else
            again.btnAddClick();
        EXPECT_FALSE(again.isVisible()) << fails;
        EXPECT_EQ(again.result(), QDialog::Rejected) << fails;
    }
}
