#include "accounts/fAccount.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "accounts/AccountIcons.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kClientWidth = 175;

} // namespace

TfrmAccount::TfrmAccount(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"frmAccount"_s);
    setWindowTitle(u"Авторизация"_s);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    Label1 = new QLabel(u"Аккаунт пользователя:"_s, this);
    Label1->setObjectName(u"Label1"_s);
    edtUsername = new QLineEdit(this);
    edtUsername->setObjectName(u"edtUsername"_s);
    Label1->setBuddy(edtUsername);
    Label2 = new QLabel(u"Пароль:"_s, this);
    Label2->setObjectName(u"Label2"_s);
    edtPassword = new QLineEdit(this);
    edtPassword->setObjectName(u"edtPassword"_s);
    edtPassword->setEchoMode(QLineEdit::Password);
    // The styles draw a bullet or a circle; the dialog masks with "*".
    edtPassword->setStyleSheet(u"QLineEdit { lineedit-password-character: 42; }"_s);
    Label2->setBuddy(edtPassword);

    auto* Panel1 = new QWidget(this);
    Panel1->setObjectName(u"Panel1"_s);
    Panel1->setAutoFillBackground(true);
    QPalette panelPal = Panel1->palette();
    panelPal.setColor(QPalette::Window, QColor(240, 240, 240));
    Panel1->setPalette(panelPal);
    btnSend = new QPushButton(AddAccountIcon(), u"Добавить"_s, Panel1);
    btnSend->setObjectName(u"btnSend"_s);
    btnSend->setDefault(true);
    connect(btnSend, &QPushButton::clicked, this, &QDialog::accept);

    auto* fields = new QVBoxLayout;
    fields->setContentsMargins(8, 8, 8, 8);
    fields->setSpacing(2);
    fields->addWidget(Label1);
    fields->addWidget(edtUsername);
    fields->addSpacing(4);
    fields->addWidget(Label2);
    fields->addWidget(edtPassword);

    auto* strip = new QHBoxLayout(Panel1);
    strip->setContentsMargins(8, 6, 8, 6);
    strip->addStretch();
    strip->addWidget(btnSend);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addLayout(fields);
    root->addWidget(Panel1);

    setTabOrder(edtUsername, edtPassword);
    setTabOrder(edtPassword, btnSend);
    edtUsername->setFocus();
    setFixedSize(kClientWidth, sizeHint().height());
}
