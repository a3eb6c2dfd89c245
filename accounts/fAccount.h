#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The login dialog: a login and a password, nothing validated.
class TfrmAccount : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAccount(QWidget* parent = nullptr);
    QLabel* Label1;
    QLineEdit* edtUsername;
    QLabel* Label2;
    QLineEdit* edtPassword;
    QPushButton* btnSend;
};
