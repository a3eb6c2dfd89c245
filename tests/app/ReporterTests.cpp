// The top-level reporter: an error escaping a handler becomes a red log line and a warning box,
// and the program goes on.
#include <stdexcept>

#include <QApplication>
#include <QEvent>
#include <QPushButton>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/ErrorReporter.h"
#include "app/LogButton.h"
#include "app/Main.h"
#include "app/TApplication.h"
#include "net/Exception.h"

using namespace Qt::StringLiterals;

namespace {

class Thrower : public QObject
{
public:
    int handled = 0;
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        ++handled;
        if (handled == 1)
            throw Exception(u"Ошибка в обработчике"_s);
        if (handled == 2)
            throw 42;
        return true;
    }
};

} // namespace

TEST(Reporter, AnEscapedErrorIsLoggedRedAndShownAndTheProgramGoesOn)
{
    AppModules modules;
    modules.Start();
    ShownForm f = MakeForm();
    Thrower thrower;

    QEvent first(QEvent::User);
    EXPECT_FALSE(TApplication::DeliverReported(&thrower, &first));
    EXPECT_EQ(modules.errorBoxes, QStringList{u"Ошибка в обработчике"_s});
    EXPECT_EQ(LogTexts(*f.form).last(), u"Ошибка в обработчике"_s);
    EXPECT_EQ(f.form->btnLog->FaceColor(), QColor(243, 189, 189));

    QEvent second(QEvent::User);
    EXPECT_FALSE(TApplication::DeliverReported(&thrower, &second));
    EXPECT_EQ(modules.errorBoxes.size(), 2);
    EXPECT_EQ(modules.errorBoxes.last(), u"Неизвестная ошибка"_s);

    // Delivery goes on as before.
    QEvent third(QEvent::User);
    EXPECT_TRUE(TApplication::DeliverReported(&thrower, &third));
    EXPECT_EQ(thrower.handled, 3);
    EXPECT_EQ(modules.errorBoxes.size(), 2);
}

TEST(Reporter, OnceTheProgramEndsErrorsAreOnlyLogged)
{
    AppModules modules;
    modules.Start();
    ShownForm f = MakeForm();
    SetErrorBoxSuppressed(true);
    Reported([] { throw std::runtime_error("spät"); });
    SetErrorBoxSuppressed(false);
    EXPECT_TRUE(modules.errorBoxes.isEmpty());
    EXPECT_EQ(LogTexts(*f.form).last(), u"spät"_s);
}
