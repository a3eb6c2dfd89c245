#include "fCaptcha.h"

#include <QFontDatabase>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "net/AsyncHttp.h"
#include "net/Exception.h"
#include "settings/uOptions.h"

using namespace Qt::StringLiterals;

namespace {

QPointer<QWidget> s_owner;

QFont dialogFont()
{
    QFont font = QFontDatabase::families().contains(u"Tahoma"_s)
                     ? QFont(u"Tahoma"_s)
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    return font;
}

} // namespace

TfrmCaptcha::TfrmCaptcha(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), Image321(new QLabel(this)),
      Edit1(new QLineEdit(this)), Button1(new QPushButton(u"Принять"_s, this))
{
    setObjectName(u"frmCaptcha"_s);
    setWindowTitle(u"Введите символы:"_s);
    setFont(dialogFont());

    Image321->setObjectName(u"Image321"_s);
    Image321->setFixedSize(131, 50);
    Image321->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image321->setScaledContents(false);
    Edit1->setObjectName(u"Edit1"_s);
    Edit1->setFixedSize(131, 21);
    Button1->setObjectName(u"Button1"_s);
    Button1->setFixedSize(131, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    // 3-pixel margins around each widget, none doubled between them: a 137 x 108 client area.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(3);
    layout->addWidget(Image321);
    layout->addWidget(Edit1);
    layout->addWidget(Button1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    Edit1->setFocus();
}

void SetCaptchaOwner(QWidget* owner)
{
    s_owner = owner;
}

bool AskCaptcha(const QString& imageUrl, QString& answer)
{
    if (!Options)
        return false;
    const QString path = Options->DataFolder() + u"captcha.jpg"_s;
    {
        const std::unique_ptr<TAsyncHttp> http = CreateHttp(imageUrl);
        if (!http->GetToFile(path))
            return false;
    }
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull())
        throw Exception(u"Не удалось показать капчу: файл "_s + path + u" не является изображением ("_s +
                        reader.errorString() + u")"_s);

    TfrmCaptcha dialog(s_owner);
    dialog.Image321->setPixmap(QPixmap::fromImage(image));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    answer = dialog.Edit1->text();
    return true;
}
