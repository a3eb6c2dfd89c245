// The captcha dialog and AskCaptcha, answered from a timer as a user would.
#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "VkFixture.h"
#include "net/CookieJar.h"
#include "settings/uOptions.h"
#include "vk/fCaptcha.h"

using namespace Qt::StringLiterals;

namespace {

// Acts on the captcha dialog as soon as it runs modally.
void whenCaptchaShows(QObject* context, std::function<void(TfrmCaptcha*)> act)
{
    auto* timer = new QTimer(context);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, context, [timer, act] {
        if (auto* dialog = qobject_cast<TfrmCaptcha*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start();
}

void pressEnter(QWidget* target)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

QString captchaPath()
{
    return Options->DataFolder() + u"captcha.jpg"_s;
}

} // namespace

class CaptchaTest : public VkFixture
{
protected:
    void SetUp() override
    {
        VkFixture::SetUp();
        QFile::remove(captchaPath());
        SetCaptchaOwner(&owner);
    }
    void TearDown() override
    {
        SetCaptchaOwner(nullptr);
        VkFixture::TearDown();
    }

    QWidget owner;
    QObject context;
};

TEST_F(CaptchaTest, DialogLayout)
{
    TfrmCaptcha dialog(&owner);
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.windowTitle(), u"Введите символы:");
    EXPECT_EQ(dialog.windowType(), Qt::Tool);
    EXPECT_EQ(dialog.parentWidget(), &owner);
    EXPECT_EQ(dialog.size(), QSize(137, 108));
    EXPECT_EQ(dialog.Image321->geometry(), QRect(3, 3, 131, 50));
    EXPECT_EQ(dialog.Edit1->geometry(), QRect(3, 56, 131, 21));
    EXPECT_EQ(dialog.Button1->geometry(), QRect(3, 80, 131, 25));
    EXPECT_EQ(dialog.Button1->text(), u"Принять");
    EXPECT_TRUE(dialog.Button1->isDefault());
    EXPECT_EQ(dialog.font().pointSize(), 8);
}

TEST_F(CaptchaTest, AnswerTypedAndEnteredIsReturned)
{
    CookieJar->SetCookie(u"" QUILLBOX_VK_SITE_HOST ""_s, u"remixsid=abc"_s);
    bool shown = false;
    whenCaptchaShows(&context, [&](TfrmCaptcha* dialog) {
        shown = true;
        EXPECT_EQ(dialog->parentWidget(), &owner);
        EXPECT_EQ(dialog->Image321->pixmap().size(), QSize(130, 50));
        dialog->Edit1->setText(u"48 17"_s);
        pressEnter(dialog->Edit1);
    });
    QString answer = u"old"_s;
    EXPECT_TRUE(AskCaptcha(VkSiteUrl(u"/captcha.php?s=1&sid=5"_s), answer));
    EXPECT_TRUE(shown);
    EXPECT_EQ(answer, u"48 17");

    QFile file(captchaPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(3) == "\xff\xd8\xff");
    const QList<VkEmuRequest> r = Requests();
    ASSERT_EQ(Trail(), QStringList{u"GET " QUILLBOX_VK_SITE_HOST " /captcha.php?s=1&sid=5"_s});
    EXPECT_FALSE(r[0].HasHeader(u"Cookie"));
}

TEST_F(CaptchaTest, ClosingTheDialogGivesNoAnswer)
{
    whenCaptchaShows(&context, [](TfrmCaptcha* dialog) {
        dialog->Edit1->setText(u"typed"_s);
        dialog->close();
    });
    QString answer = u"old"_s;
    EXPECT_FALSE(AskCaptcha(VkSiteUrl(u"/captcha.php?s=1&sid=5"_s), answer));
    EXPECT_EQ(answer, u"old");
}

TEST_F(CaptchaTest, FileThatIsNoImageRaisesAndShowsNoDialog)
{
    emu->Script({{u"rules"_s, QJsonArray{QJsonObject{{u"path"_s, u"/captcha.php"_s},
                                                     {u"action"_s, u"reply"_s},
                                                     {u"body"_s, u"<html>busy</html>"_s}}}}});
    bool shown = false;
    whenCaptchaShows(&context, [&](TfrmCaptcha* dialog) {
        shown = true;
        dialog->reject();
    });
    QString answer;
    QString message;
    try {
        AskCaptcha(VkSiteUrl(u"/captcha.php?s=1&sid=5"_s), answer);
    } catch (const Exception& e) {
        message = e.Message();
    }
    EXPECT_TRUE(message.contains(u"captcha.jpg")) << message.toStdString();
    EXPECT_FALSE(shown);
}

TEST_F(CaptchaTest, FailedDownloadGivesNoAnswer)
{
    emu->Script(
        {{u"rules"_s, QJsonArray{QJsonObject{
                          {u"path"_s, u"/captcha.php"_s}, {u"action"_s, u"reply"_s}, {u"status"_s, 404}}}}});
    bool shown = false;
    whenCaptchaShows(&context, [&](TfrmCaptcha* dialog) {
        shown = true;
        dialog->reject();
    });
    QString answer = u"old"_s;
    EXPECT_FALSE(AskCaptcha(VkSiteUrl(u"/captcha.php?s=1&sid=5"_s), answer));
    EXPECT_EQ(answer, u"old");
    EXPECT_FALSE(shown);
}

TEST_F(CaptchaTest, SignInThroughTheDialog)
{
    TVKApi::SetCaptchaPrompt(nullptr);
    emu->Script(
        {{u"captcha"_s, QJsonObject{{u"count"_s, 1}, {u"sid"_s, u"31"_s}, {u"answer"_s, u"4817"_s}}}});
    whenCaptchaShows(&context, [](TfrmCaptcha* dialog) {
        dialog->Edit1->setText(u"4817"_s);
        dialog->Button1->click();
    });
    ASSERT_TRUE(SignIn());
    const QStringList trail = Trail();
    ASSERT_GE(trail.size(), 3);
    EXPECT_EQ(trail[1], u"GET " QUILLBOX_VK_SITE_HOST " /captcha.php?s=1&sid=31");
    EXPECT_EQ(Requests()[2].body, "op=a_login_attempt&captcha_sid=31&captcha_key=4817");
    EXPECT_FALSE(api.Secret.isEmpty());
}
