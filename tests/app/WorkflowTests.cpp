// The status workflow against the VK emulator: sign-in, the account button, adding an account,
// sending, and what the user sees of failures.
#include <QApplication>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "tests/testsupport/VkEmu.h"
#include "accounts/Accounts.h"
#include "accounts/fAccount.h"
#include "accounts/fAccountList.h"
#include "app/LogButton.h"
#include "app/Main.h"
#include "app/fLoading.h"
#include "catalog/fStatusBase.h"

using namespace Qt::StringLiterals;

namespace {

const QString kSite = QStringLiteral(QUILLBOX_VK_SITE_HOST);
const QString kApi = QStringLiteral(QUILLBOX_VK_API_HOST);
const QString kLogin = u"user@example.com"_s;
const QString kDone = u"Текущий статус получен."_s;

QJsonObject TwoAccounts()
{
    return QJsonObject{
        {u"accounts"_s,
         QJsonArray{VkEmu::Account(kLogin, u"secret"_s, 12345, u"Иван"_s, u"Петров"_s, u"Привет, мир"_s),
                    VkEmu::Account(u"anna@example.com"_s, u"pass2"_s, 777, u"Анна"_s, u"Сидорова"_s,
                                   u"Второй статус"_s)}}};
}

int LoginAttempts(const VkEmu& emu)
{
    int attempts = 0;
    for (const VkEmuRequest& r : emu.Requests(kSite, u"/login.php"_s))
        attempts += r.body.startsWith("op=a_login_attempt") ? 1 : 0;
    return attempts;
}

class Workflow : public ::testing::Test
{
protected:
    void Start(const QJsonObject& config = VkEmu::DefaultConfig())
    {
        emu = std::make_unique<VkEmu>(config);
        ASSERT_TRUE(emu->Started()) << emu->Error().toStdString();
        modules.Start();
    }
    TAccount* Saved(const QString& login, const QString& password, const QString& name)
    {
        TAccount* a = AddAccount(login, password);
        a->DisplayName = name;
        return a;
    }
    bool SignedIn(const ShownForm& f)
    {
        return WaitFor([&] { return LogTexts(*f.form).contains(kDone); });
    }

    AppModules modules;
    std::unique_ptr<VkEmu> emu;
};

} // namespace

TEST_F(Workflow, FirstStartWithoutAccountsPromptsAndSendsNothing)
{
    Start();
    ShownForm f = MakeForm();
    const QString prompt = u"Выберите пользователя для размещения статуса"_s;
    ASSERT_TRUE(WaitFor([&] { return f.form->StatusText() == prompt; }));
    EXPECT_EQ(f.form->lblCharCount->text(), QString::number(255 - prompt.size()));
    EXPECT_EQ(QApplication::focusWidget(), f.form->btnAccount);
    EXPECT_FALSE(f.form->btnSend->isEnabled());
    QApplication::processEvents();
    EXPECT_TRUE(emu->Requests().isEmpty());
    EXPECT_TRUE(LogLines(*f.form).isEmpty());
}

TEST_F(Workflow, SignsInOnceAtTheFirstActivation)
{
    Start();
    Saved(kLogin, u"secret"_s, u"Иван Петров"_s);
    ShownForm f = MakeForm();
    ASSERT_TRUE(SignedIn(f));
    EXPECT_EQ(LogTexts(*f.form), (QStringList{u"Авторизация user@example.com..."_s,
                                              u"Авторизация пройдена."_s, u"Получение статуса..."_s, kDone}));
    EXPECT_EQ(f.form->StatusText(), u"Привет, мир"_s);
    EXPECT_EQ(f.form->btnAccount->text(), u"Иван Петров"_s);
    EXPECT_TRUE(f.form->btnAccount->icon().isNull());
    EXPECT_TRUE(f.form->btnSend->isEnabled());
    EXPECT_TRUE(f.form->Panel3->isEnabled());
    EXPECT_FALSE(f.loader->isVisible());

    // Switching away and back is a second activation: no second sign-in.
    const int attempts = LoginAttempts(*emu);
    EXPECT_EQ(attempts, 1);
    for (int i = 0; i < 2; ++i) {
        QEvent deactivate(QEvent::WindowDeactivate);
        QApplication::sendEvent(f.form.get(), &deactivate);
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(f.form.get(), &activate);
        QApplication::processEvents();
    }
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(LoginAttempts(*emu), attempts);
}

TEST_F(Workflow, RefusedPasswordReopensTheLoginDialogFilledIn)
{
    Start();
    TAccount* account = Saved(kLogin, u"wrong"_s, u"Иван Петров"_s);
    QString shownLogin, shownPassword;
    bool panelDisabled = false, loaderShown = false;
    ShownForm f = MakeForm(false);
    auto seen = AnswerNextModal([&](QWidget* dialog) {
        auto* login = qobject_cast<TfrmAccount*>(dialog);
        ASSERT_NE(login, nullptr);
        shownLogin = login->edtUsername->text();
        shownPassword = login->edtPassword->text();
        panelDisabled = !f.form->Panel3->isEnabled();
        loaderShown = f.loader->isVisible();
        login->edtPassword->setText(u"secret"_s);
        login->accept();
    });
    f.form->show();
    f.form->activateWindow();
    ASSERT_TRUE(SignedIn(f));
    EXPECT_TRUE(*seen);
    EXPECT_EQ(shownLogin, kLogin);
    EXPECT_EQ(shownPassword, u"wrong"_s);
    EXPECT_TRUE(panelDisabled);
    EXPECT_TRUE(loaderShown);
    EXPECT_TRUE(LogTexts(*f.form).contains(u"Не удалось получить SID"_s));
    EXPECT_EQ(f.form->StatusText(), u"Привет, мир"_s);
    // The corrected password is kept for the first account.
    EXPECT_EQ(account->Password, u"secret"_s);
    EXPECT_TRUE(f.form->Panel3->isEnabled());
    EXPECT_FALSE(f.loader->isVisible());
}

TEST_F(Workflow, AccountButtonSignsInTheChosenAccount)
{
    Start(TwoAccounts());
    Saved(kLogin, u"secret"_s, u"Иван Петров"_s);
    TAccount* anna = Saved(u"anna@example.com"_s, u"pass2"_s, u"Анна Сидорова"_s);
    ShownForm f = MakeForm();
    ASSERT_TRUE(SignedIn(f));

    auto seen = AnswerNextModal([](QWidget* dialog) {
        auto* chooser = qobject_cast<TfrmAccountList*>(dialog);
        ASSERT_NE(chooser, nullptr);
        chooser->vUsers->setCurrentItem(chooser->vUsers->topLevelItem(1));
        chooser->vUsersDblClick();
    });
    f.form->btnAccount->click();
    EXPECT_TRUE(*seen);
    EXPECT_EQ(f.form->btnAccount->text(), u"Анна Сидорова:"_s);
    EXPECT_EQ(f.form->StatusText(), u"Второй статус"_s);
    EXPECT_EQ(anna->Login, u"anna@example.com"_s);
    EXPECT_EQ(anna->Password, u"pass2"_s);
}

TEST_F(Workflow, ChosenAccountThatFailsBringsTheChooserBack)
{
    Start(TwoAccounts());
    Saved(kLogin, u"secret"_s, u"Иван Петров"_s);
    Saved(u"anna@example.com"_s, u"pass2"_s, u"Анна Сидорова"_s);
    ShownForm f = MakeForm();
    ASSERT_TRUE(SignedIn(f));
    // VK no longer takes the login attempt: Authorize answers false.
    ASSERT_TRUE(emu->Script(QJsonObject{{u"login_attempt_reply"_s, u"no"_s}}));

    int choosers = 0;
    std::function<void(QWidget*)> answer = [&](QWidget* dialog) {
        auto* chooser = qobject_cast<TfrmAccountList*>(dialog);
        ASSERT_NE(chooser, nullptr);
        ++choosers;
        if (choosers == 1) {
            AnswerNextModal(answer);
            chooser->vUsers->setCurrentItem(chooser->vUsers->topLevelItem(1));
            chooser->vUsersDblClick();
        } else {
            chooser->reject();
        }
    };
    AnswerNextModal(answer);
    f.form->btnAccount->click();
    EXPECT_EQ(choosers, 2);
    EXPECT_EQ(f.form->btnAccount->text(), u"Иван Петров"_s);
    EXPECT_EQ(LogTexts(*f.form).last(), u"Авторизация anna@example.com..."_s);
    EXPECT_TRUE(f.form->btnSend->isEnabled());
    EXPECT_TRUE(f.form->Panel3->isEnabled());
}

TEST(WorkflowAdd, AddingAnAccountWithAndWithoutAProfile)
{
    for (const bool profile : {true, false}) {
        AppModules modules;
        VkEmu emu(VkEmu::DefaultConfig());
        ASSERT_TRUE(emu.Started()) << emu.Error().toStdString();
        if (!profile) {
            ASSERT_TRUE(emu.Script(
                QJsonObject{{u"api_replies"_s, QJsonObject{{u"getProfiles"_s, u"{\"response\":[]}"_s}}}}));
        }
        modules.Start();
        ShownForm f = MakeForm();
        ASSERT_TRUE(WaitFor([&] { return !f.form->StatusText().isEmpty(); }));
        auto seen = AnswerNextModal([](QWidget* dialog) {
            auto* login = qobject_cast<TfrmAccount*>(dialog);
            ASSERT_NE(login, nullptr);
            login->edtUsername->setText(kLogin);
            login->edtPassword->setText(u"secret"_s);
            login->accept();
        });
        f.form->btnAccount->click();
        EXPECT_TRUE(*seen);
        ASSERT_EQ(Accounts->Count(), 1) << profile;
        EXPECT_EQ((*Accounts)[0]->Login, kLogin);
        EXPECT_EQ((*Accounts)[0]->Password, u"secret"_s);
        EXPECT_EQ((*Accounts)[0]->DisplayName, profile ? u"Иван Петров"_s : QString()) << profile;
        EXPECT_EQ(f.form->btnAccount->text(), profile ? u"Иван Петров:"_s : u"Добавить пользователя"_s)
            << profile;
        EXPECT_TRUE(f.form->btnSend->isEnabled());
    }
}

TEST_F(Workflow, CancelledOrRefusedAddAddsNothing)
{
    Start();
    ShownForm f = MakeForm();
    ASSERT_TRUE(WaitFor([&] { return !f.form->StatusText().isEmpty(); }));
    AnswerNextModal([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    f.form->btnAccount->click();
    EXPECT_EQ(Accounts->Count(), 0);
    EXPECT_TRUE(emu->Requests().isEmpty());

    // A refused password and a cancelled retry: the sign-in failed, nothing is added.
    bool retried = false;
    AnswerNextModal([&](QWidget* dialog) {
        auto* login = qobject_cast<TfrmAccount*>(dialog);
        ASSERT_NE(login, nullptr);
        login->edtUsername->setText(kLogin);
        login->edtPassword->setText(u"wrong"_s);
        AnswerNextModal([&](QWidget* retry) {
            retried = true;
            static_cast<QDialog*>(retry)->reject();
        });
        login->accept();
    });
    f.form->btnAccount->click();
    EXPECT_TRUE(retried);
    EXPECT_EQ(Accounts->Count(), 0);
    EXPECT_FALSE(f.form->btnSend->isEnabled());
    EXPECT_EQ(f.form->btnAccount->text(), u"Добавить пользователя"_s);
}

TEST_F(Workflow, SendsTheWholeTextAndShowsTheReadBackLiterally)
{
    QJsonObject config = VkEmu::DefaultConfig();
    config.insert(u"accounts"_s, QJsonArray{VkEmu::Account(kLogin, u"secret"_s, 12345, u"Иван"_s, u"Петров"_s,
                                                           u"Tom &amp; Jerry"_s)});
    Start(config);
    Saved(kLogin, u"secret"_s, u"Иван Петров"_s);
    ShownForm f = MakeForm();
    ASSERT_TRUE(SignedIn(f));
    // Decoded after a sign-in.
    EXPECT_EQ(f.form->StatusText(), u"Tom & Jerry"_s);

    const QString text = QString(250, u'ж') + u" & \u00A0x"_s;
    ASSERT_EQ(text.size(), 255);
    f.form->SetStatusText(text + u'!');
    EXPECT_EQ(f.form->lblCharCount->text(), u"-1"_s);
    f.form->btnSend->click();
    // What the server decoded is the whole text, the 256th character included.
    EXPECT_EQ(emu->StatusOf(kLogin), text + u'!');
    EXPECT_EQ(LogTexts(*f.form).mid(4),
              (QStringList{u"Отправка статуса..."_s, u"Статус отправлен. Проверка статуса..."_s, kDone}));
    EXPECT_TRUE(f.form->btnSend->isEnabled());

    // Not decoded after a send: what VK returns is what the editor shows.
    ASSERT_TRUE(emu->Script(QJsonObject{{u"html_escape_status"_s, true}}));
    f.form->SetStatusText(u"A & B"_s);
    f.form->btnSend->click();
    EXPECT_EQ(f.form->StatusText(), u"A &amp; B"_s);
}

TEST_F(Workflow, FailedSendIsReportedAndSendingStaysPossible)
{
    Start();
    Saved(kLogin, u"secret"_s, u"Иван Петров"_s);
    ShownForm f = MakeForm();
    ASSERT_TRUE(SignedIn(f));
    ASSERT_TRUE(emu->Script(QJsonObject{{u"rules"_s, QJsonArray{QJsonObject{{u"host"_s, kApi},
                                                                            {u"path"_s, u"/api.php"_s},
                                                                            {u"action"_s, u"reply"_s},
                                                                            {u"status"_s, 500},
                                                                            {u"body"_s, QString()},
                                                                            {u"times"_s, 1}}}}}));
    f.form->SetStatusText(u"новый"_s);
    f.form->btnSend->click();
    EXPECT_EQ(modules.errorBoxes, QStringList{u"Не удалось отправить статус"_s});
    EXPECT_EQ(LogTexts(*f.form).last(), u"Не удалось отправить статус"_s);
    EXPECT_EQ(f.form->btnLog->FaceColor(), QColor(243, 189, 189));
    EXPECT_TRUE(f.form->btnSend->isEnabled());
    EXPECT_EQ(f.form->StatusText(), u"новый"_s);

    // The retry goes through.
    f.form->btnSend->click();
    EXPECT_EQ(emu->StatusOf(kLogin), u"новый"_s);
    EXPECT_EQ(modules.errorBoxes.size(), 1);
}

TEST_F(Workflow, SendWhileTheServerStallsLeavesTheOtherButtonsUsable)
{
    Start();
    Saved(kLogin, u"secret"_s, u"Иван Петров"_s);
    ShownForm f = MakeForm();
    TfrmStatusBase catalog;
    f.form->SetStatusBase(&catalog);
    ASSERT_TRUE(SignedIn(f));
    ASSERT_TRUE(emu->Script(QJsonObject{{u"rules"_s, QJsonArray{QJsonObject{{u"host"_s, kApi},
                                                                            {u"path"_s, u"/api.php"_s},
                                                                            {u"action"_s, u"stall"_s},
                                                                            {u"seconds"_s, 1.5},
                                                                            {u"times"_s, 1}}}}}));
    bool sendDisabled = false, accountUsable = false, catalogUsable = false, catalogShown = false;
    QTimer::singleShot(500, f.form.get(), [&] {
        sendDisabled = !f.form->btnSend->isEnabled();
        accountUsable = f.form->btnAccount->isEnabled() && f.form->Panel3->isEnabled();
        catalogUsable = f.form->btnStatusBase->isEnabled();
        f.form->btnStatusBase->click();
        catalogShown = catalog.isVisible();
    });
    f.form->SetStatusText(u"медленно"_s);
    f.form->btnSend->click();
    EXPECT_TRUE(sendDisabled);
    EXPECT_TRUE(accountUsable);
    EXPECT_TRUE(catalogUsable);
    EXPECT_TRUE(catalogShown);
    EXPECT_EQ(LogTexts(*f.form).last(), kDone);
    EXPECT_TRUE(f.form->btnSend->isEnabled());
    catalog.hide();
}
