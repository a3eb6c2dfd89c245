#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

class TfrmCaptcha : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmCaptcha(QWidget* parent = nullptr);
    QLabel* Image321;
    QLineEdit* Edit1;
    QPushButton* Button1;
};

// Downloads the image to DataFolder + "captcha.jpg" and asks for the answer modally.
// Raises Exception when the file is not an image.
bool AskCaptcha(const QString& imageUrl, QString& answer);
// The window the captcha dialog is centred over and owned by (the main window).
void SetCaptchaOwner(QWidget* owner);
