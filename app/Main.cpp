#include "app/Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTextEdit>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <QWindowStateChangeEvent>

#include "accounts/Accounts.h"
#include "accounts/fAccount.h"
#include "accounts/fAccountList.h"
#include "app/ErrorReporter.h"
#include "app/GlowButton.h"
#include "app/LogButton.h"
#include "app/LogTime.h"
#include "app/Tray.h"
#include "app/UiFont.h"
#include "app/fLoading.h"
#include "app/fLog.h"
#include "catalog/fStatusBase.h"
#include "net/HtmlDecode.h"
#include "settings/uOptions.h"
#include "update/formUpdate.h"
#include "vk/VKapi.h"
#include "vk/fCaptcha.h"

using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"Quillbox 3.01"_s;
const QString kTrayTip = u"Quillbox 3.0"_s;
const QString kBalloon = u"Quillbox: Теперь я тут! :)"_s;
const QString kPrompt = u"Выберите пользователя для размещения статуса"_s;
const QColor kErrorFace(243, 189, 189);
constexpr QSize kClientSize(396, 144);

TForm1::VersionCheckStarter& Starter()
{
    static TForm1::VersionCheckStarter starter = [](QWidget* mainWindow, std::function<void()> close) {
        TCheckNewVersion::Start(mainWindow, std::move(close));
    };
    return starter;
}

// Active and inactive only: a disabled widget keeps the greyed text of the palette.
void SetTextColour(QWidget* w, const QColor& colour)
{
    QPalette p = w->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::ButtonText, colour);
        p.setColor(group, QPalette::WindowText, colour);
    }
    w->setPalette(p);
}

QWidget* Row(QWidget* parent, const QString& name, int height)
{
    auto* row = new QWidget(parent);
    row->setObjectName(name);
    row->setFixedHeight(height);
    return row;
}

QIcon Image(const QString& name)
{
    return QIcon(u":/app/"_s + name + u".png"_s);
}

} // namespace

void TForm1::SetVersionCheckStarter(VersionCheckStarter starter)
{
    Starter() = std::move(starter);
}

TForm1::TForm1()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    CreateWidgets();
    FormCreate();
}

TForm1::~TForm1()
{
    // Nothing here touches Options: the window never copies its position back.
    OnAddAccount = nullptr;
    SetCaptchaOwner(nullptr);
    SetErrorLog(nullptr);
    SetErrorBoxOwner(nullptr);
}

void TForm1::CreateWidgets()
{
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Quillbox 3.0"_s);
    setFont(UiFont());
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    ilInfo2 = {Image(u"tray"_s), Image(u"catalog"_s), Image(u"restore"_s), Image(u"exit"_s),
               Image(u"user"_s), Image(u"send"_s),    Image(u"log"_s)};
    setWindowIcon(ilInfo2[0]);

    Panel3 = new QWidget(this);
    Panel3->setObjectName(u"Panel3"_s);

    Panel1 = Row(Panel3, u"Panel1"_s, 22);
    btnAccount = new TGlowButton(u"Добавить пользователя"_s, Panel1);
    btnAccount->setObjectName(u"btnAccount"_s);
    btnAccount->setToolTip(u"Добавить/Сменить пользователя"_s);
    btnAccount->setIcon(ilInfo2[4]);
    btnAccount->setIconSize(QSize(16, 16));
    QFont bold = UiFont();
    bold.setBold(true);
    btnAccount->setFont(bold);
    SetTextColour(btnAccount, QColor(4, 142, 193));
    btnAccount->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    btnStatusBase = new TGlowButton(u"Подобрать статусов"_s, Panel1);
    btnStatusBase->setObjectName(u"btnStatusBase"_s);
    btnStatusBase->setFixedWidth(120);
    btnStatusBase->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    SetTextColour(btnStatusBase, QColor(192, 192, 192));
    auto* row1 = new QHBoxLayout(Panel1);
    row1->setContentsMargins(0, 0, 0, 0);
    row1->setSpacing(1);
    row1->addWidget(btnAccount);
    row1->addWidget(btnStatusBase);

    RichEdit1 = new QTextEdit(Panel3);
    RichEdit1->setObjectName(u"RichEdit1"_s);
    RichEdit1->setAcceptRichText(false);
    RichEdit1->setTabChangesFocus(true);
    RichEdit1->setContextMenuPolicy(Qt::CustomContextMenu);

    Panel2 = Row(Panel3, u"Panel2"_s, 29);
    lbl1 = new QLabel(u"Осталось символов:"_s, Panel2);
    lbl1->setObjectName(u"lbl1"_s);
    SetTextColour(lbl1, QColor(192, 192, 192));
    lblCharCount = new QLabel(u"255"_s, Panel2);
    lblCharCount->setObjectName(u"lblCharCount"_s);
    btnSend = new TGlowButton(u"Отправить статус"_s, Panel2);
    btnSend->setObjectName(u"btnSend"_s);
    btnSend->setToolTip(u"Отправить статус"_s);
    btnSend->setIcon(ilInfo2[5]);
    btnSend->setIconSize(QSize(16, 16));
    btnSend->setFixedWidth(120);
    btnSend->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    btnSend->setEnabled(false);
    auto* row2 = new QHBoxLayout(Panel2);
    row2->setContentsMargins(4, 2, 1, 2);
    row2->setSpacing(4);
    row2->addWidget(lbl1);
    row2->addWidget(lblCharCount);
    row2->addStretch(1);
    row2->addWidget(btnSend);

    auto* inner = new QVBoxLayout(Panel3);
    inner->setContentsMargins(0, 0, 0, 0);
    inner->setSpacing(0);
    inner->addWidget(Panel1);
    inner->addWidget(RichEdit1, 1);
    inner->addWidget(Panel2);

    btnLog = new TLogButton(this);
    btnLog->setObjectName(u"btnLog"_s);
    btnLog->setFixedHeight(18);
    SetTextColour(btnLog, QColor(128, 128, 128));

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    // The stored size may be smaller than what the widgets would ask for.
    outer->setSizeConstraint(QLayout::SetNoConstraint);
    outer->addWidget(Panel3, 1);
    outer->addWidget(btnLog);
    resize(kClientSize);

    CreateEditorMenu();
    CreateTray();

    connect(btnAccount, &QPushButton::clicked, this, [this] { Reported([this] { btnAccountClick(); }); });
    connect(btnStatusBase, &QPushButton::clicked, this,
            [this] { Reported([this] { btnStatusBaseClick(); }); });
    connect(btnSend, &QPushButton::clicked, this, [this] { Reported([this] { btnSendClick(); }); });
    connect(btnLog, &QAbstractButton::clicked, this, [this] { Reported([this] { btnLogClick(); }); });
    connect(RichEdit1, &QTextEdit::textChanged, this, [this] { Reported([this] { RichEdit1Change(); }); });
}

void TForm1::CreateEditorMenu()
{
    PopupActionBar2 = new QMenu(this);
    PopupActionBar2->setObjectName(u"PopupActionBar2"_s);
    actCopy = PopupActionBar2->addAction(u"&Копировать"_s);
    actCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    actPaste = PopupActionBar2->addAction(u"&Вставить"_s);
    actPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    actSelectAll = PopupActionBar2->addAction(u"Выделить всё"_s);
    actSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    // The editor handles the keys itself; the menu only shows them.
    for (QAction* a : {actCopy, actPaste, actSelectAll})
        a->setShortcutContext(Qt::WidgetShortcut);
    connect(actCopy, &QAction::triggered, RichEdit1, &QTextEdit::copy);
    connect(actPaste, &QAction::triggered, RichEdit1, &QTextEdit::paste);
    connect(actSelectAll, &QAction::triggered, RichEdit1, &QTextEdit::selectAll);
    connect(RichEdit1, &QWidget::customContextMenuRequested, this, &TForm1::ShowEditorMenu);
}

void TForm1::ShowEditorMenu(const QPoint& pos)
{
    actCopy->setEnabled(RichEdit1->textCursor().hasSelection());
    actPaste->setEnabled(RichEdit1->canPaste());
    actSelectAll->setEnabled(!RichEdit1->document()->isEmpty());
    PopupActionBar2->popup(RichEdit1->viewport()->mapToGlobal(pos));
}

void TForm1::CreateTray()
{
    PopupActionBar1 = new QMenu(this);
    PopupActionBar1->setObjectName(u"PopupActionBar1"_s);
    actMaximize = PopupActionBar1->addAction(u"Развернуть"_s);
    actMaximize->setObjectName(u"actMaximize"_s);
    actBase = PopupActionBar1->addAction(ilInfo2[1], u"Каталог статусов"_s);
    actBase->setObjectName(u"actBase"_s);
    actExit = PopupActionBar1->addAction(u"Закрыть Quillbox"_s);
    actExit->setObjectName(u"actExit"_s);
    connect(actMaximize, &QAction::triggered, this, [this] { Reported([this] { TrayIcon1Click(); }); });
    connect(actBase, &QAction::triggered, this, [this] { Reported([this] { btnStatusBaseClick(); }); });
    connect(actExit, &QAction::triggered, this, [this] { Reported([this] { actExitExecute(); }); });

    TrayIcon1 = new QSystemTrayIcon(ilInfo2[0], this);
    TrayIcon1->setObjectName(u"TrayIcon1"_s);
    TrayIcon1->setToolTip(kTrayTip);
    TrayIcon1->setContextMenu(PopupActionBar1);
    connect(TrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            Reported([this] { TrayIcon1Click(); });
    });
    m_tray = std::make_unique<TSystemTray>(TrayIcon1);
    TrayIcon1->show();
}

void TForm1::FormCreate()
{
    setWindowTitle(kTitle);
    OnAddAccount = [this] { Reported([this] { AddUser(); }); };
    frmLog = new TfrmLog(this);
    SetErrorLog([this](const QString& message) { AddLog(message, 7); });
    SetErrorBoxOwner(this);
    VKApi = std::make_unique<TVKApi>();
    SetCaptchaOwner(this);
    try {
        Options->Load();
    } catch (...) {
        Options->Reset();
    }
    QPointer<TForm1> self(this);
    Starter()(this, [self] {
        if (self)
            self->close();
    });
    ApplyStoredGeometry();
}

void TForm1::ApplyStoredGeometry()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    m_placement = PlaceFromOptions(*Options, screen ? screen->geometry().size() : QSize());
    if (m_placement.Stored) {
        // Until the window manager has framed the window, its outer size is the client size;
        // FitToFrame takes the frame off once it is known.
        resize(m_placement.Outer);
        move(m_placement.TopLeft);
        if (m_placement.Maximized)
            setWindowState(windowState() | Qt::WindowMaximized);
    } else if (screen) {
        // Not every window manager centres a new window: place it ourselves.
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    m_frameFitPending = true;
}

void TForm1::FitToFrame()
{
    if (!m_frameFitPending || !windowHandle())
        return;
    const QMargins frame = windowHandle()->frameMargins();
    if (frame.isNull())
        return;
    m_frameFitPending = false;
    if (isMaximized())
        return;
    if (m_placement.Stored) {
        resize(m_placement.Outer.width() - frame.left() - frame.right(),
               m_placement.Outer.height() - frame.top() - frame.bottom());
        move(m_placement.TopLeft);
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const QSize outer = frameGeometry().size();
        move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
    }
}

void TForm1::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    FitToFrame();
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FitToFrame();
}

bool TForm1::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        Reported([this] { FormActivate(); });
    return QWidget::event(event);
}

void TForm1::FormActivate()
{
    if (m_activatedOnce)
        return;
    m_activatedOnce = true;
    // Out of the activation event, so the window is fully up before the first request.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_closing)
                Reported([this] { AutoSignIn(); });
        },
        Qt::QueuedConnection);
}

void TForm1::AddLog(const QString& text, int kind)
{
    btnLog->SetFaceColor(kind == TRVStyle::Error ? kErrorFace
                                                 : QApplication::palette().color(QPalette::Button));
    frmLog->AppendLine(FormatLogTime(QTime::currentTime(), QLocale()), text, kind);
    btnLog->SetCaption(text);
}

void TForm1::SetAccountCaption(const QString& caption)
{
    btnAccount->setText(caption);
    btnAccount->setIcon(QIcon());
}

void TForm1::AutoSignIn()
{
    if (Accounts->Count() == 0) {
        SetStatusText(kPrompt);
        btnAccount->setFocus();
        return;
    }
    TAccount* first = (*Accounts)[0];
    VKApi->Login = first->Login;
    VKApi->Password = first->Password;
    SetAccountCaption(first->DisplayName);
    SignIn();
    // A login or password corrected in a retry dialog is kept for this account.
    if (Accounts->IndexOf(first) >= 0) {
        first->Login = VKApi->Login;
        first->Password = VKApi->Password;
    }
}

bool TForm1::SignIn()
{
    if (m_loader)
        m_loader->show();
    Panel3->setEnabled(false);
    struct TRestore
    {
        TForm1* form;
        ~TRestore()
        {
            form->Panel3->setEnabled(true);
            if (form->m_loader)
                form->m_loader->hide();
        }
    } restore{this};

    bool result = false;
    try {
        AddLog(u"Авторизация "_s + VKApi->Login + u"..."_s, 0);
        if (VKApi->Authorize()) {
            result = true;
            AddLog(u"Авторизация пройдена."_s, 0);
            btnSend->setEnabled(true);
            RichEdit1->setReadOnly(false);
            LoadCurrentStatus();
        }
    } catch (const EVKError& e) {
        AddLog(e.Message(), 7);
        RetryLogin(VKApi->Login, VKApi->Password);
    } catch (const std::exception& e) {
        AddLog(QString::fromUtf8(e.what()), 7);
    }
    return result;
}

void TForm1::RetryLogin(const QString& login, const QString& password)
{
    // Once the program is ending no dialog may open: it would close again at once.
    if (m_closing)
        return;
    TfrmAccount dialog(this);
    dialog.edtUsername->setText(login);
    dialog.edtPassword->setText(password);
    if (dialog.exec() != QDialog::Accepted)
        return;
    VKApi->Login = dialog.edtUsername->text();
    VKApi->Password = dialog.edtPassword->text();
    SignIn();
}

void TForm1::LoadCurrentStatus()
{
    AddLog(u"Получение статуса..."_s, 0);
    const QString status = VKApi->GetActivity();
    SetStatusText(HtmlDecode(status));
    AddLog(u"Текущий статус получен."_s, 0);
}

void TForm1::AddUser()
{
    if (m_closing)
        return;
    TfrmAccount dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    VKApi->Login = dialog.edtUsername->text();
    VKApi->Password = dialog.edtPassword->text();
    if (!SignIn())
        return;
    VKApi->GetProfiles(0);
    QString displayName;
    if (const TVKProfile* me = VKApi->Profiles.Find(0)) {
        displayName = me->FirstName + u' ' + me->LastName;
        SetAccountCaption(displayName + u':');
    }
    TAccount* account = AddAccount(VKApi->Login, VKApi->Password);
    account->DisplayName = displayName;
}

void TForm1::btnAccountClick()
{
    for (;;) {
        if (Accounts->Count() == 0) {
            AddUser();
            return;
        }
        if (m_closing)
            return;
        TfrmAccountList chooser(this);
        if (chooser.exec() != QDialog::Accepted || !chooser.Chosen)
            return;
        TAccount* chosen = chooser.Chosen;
        // Copies: the stored login and password stay as they are, whatever a retry dialog changes.
        const QString displayName = chosen->DisplayName;
        VKApi->Login = chosen->Login;
        VKApi->Password = chosen->Password;
        if (SignIn()) {
            SetAccountCaption(displayName + u':');
            return;
        }
        if (m_closing)
            return;
    }
}

void TForm1::btnSendClick()
{
    btnSend->setEnabled(false);
    try {
        AddLog(u"Отправка статуса..."_s, 0);
        VKApi->SetActivity(StatusText());
        AddLog(u"Статус отправлен. Проверка статуса..."_s, 0);
        // Shown as VK returns it: character references stay literal here.
        SetStatusText(VKApi->GetActivity());
        AddLog(u"Текущий статус получен."_s, 0);
    } catch (...) {
        // Reported first, then the user may retry.
        ReportCurrentException();
    }
    btnSend->setEnabled(true);
}

QString TForm1::StatusText() const
{
    // toPlainText() would turn a no-break space into a blank.
    QString text = RichEdit1->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    return text;
}

void TForm1::SetStatusText(const QString& text)
{
    RichEdit1->setPlainText(text);
}

void TForm1::RichEdit1Change()
{
    lblCharCount->setText(QString::number(MaxStatusLength - StatusText().size()));
}

void TForm1::btnStatusBaseClick()
{
    if (!m_statusBase)
        return;
    m_statusBase->show();
    m_statusBase->raise();
    m_statusBase->activateWindow();
}

void TForm1::btnLogClick()
{
    frmLog->show();
    frmLog->raise();
    frmLog->activateWindow();
}

void TForm1::TrayIcon1Click()
{
    // A window hidden while minimised would map minimised again: clear that first.
    if (windowState() & Qt::WindowMinimized)
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    m_tray->ClearBalloon();
}

void TForm1::actExitExecute()
{
    close();
}

void TForm1::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool was = change->oldState() & Qt::WindowMinimized;
    const bool now = windowState() & Qt::WindowMinimized;
    if (now && !was)
        Minimized();
    else if (was && !now)
        m_tray->ClearBalloon();
}

void TForm1::Minimized()
{
    // Without a tray nothing could bring a hidden window back: an ordinary minimise then.
    if (!m_tray->Available())
        return;
    // Hiding from inside the state change confuses some window managers: do it right after.
    QTimer::singleShot(0, this, [this] {
        if (windowState() & Qt::WindowMinimized)
            hide();
    });
    if (!m_balloonShown) {
        m_balloonShown = true;
        m_tray->ShowBalloon(kBalloon);
    }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (m_closing)
        return;
    m_closing = true;
    if (m_onClosed)
        m_onClosed();
}

void TForm1::SetLoader(TfrmLoader* loader)
{
    m_loader = loader;
}

void TForm1::SetStatusBase(TfrmStatusBase* statusBase)
{
    m_statusBase = statusBase;
}

void TForm1::SetTray(std::unique_ptr<TTray> tray)
{
    m_tray = std::move(tray);
}

void TForm1::SetOnClosed(std::function<void()> onClosed)
{
    m_onClosed = std::move(onClosed);
}
