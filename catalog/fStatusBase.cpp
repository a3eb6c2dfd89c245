#include "catalog/fStatusBase.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "catalog/CatalogIcons.h"

using namespace Qt::StringLiterals;

namespace {

struct TCategory
{
    const char* objectName;
    const char16_t* caption;
    const char* fileName;
};

// Left to right: the first five go to the upper strip with icons, the rest to the lower one.
constexpr TCategory kCategories[] = {
    {"btnSend", u"Любовь", "love.txt"},
    {"AdvGlowButton2", u"Разулка", "razluka.txt"},
    {"AdvGlowButton1", u"Юмор", "humor.txt"},
    {"AdvGlowButton3", u"Депрессия", "depress.txt"},
    {"AdvGlowButton4", u"Умные мысли", "brain.txt"},
    {"AdvGlowButton5", u"Для девушек", "forgirl.txt"},
    {"AdvGlowButton7", u"Для парней", "formen.txt"},
    {"AdvGlowButton6", u"Я - лучше всех!", "pafos.txt"},
    {"AdvGlowButton8", u"Секс", "sex.txt"},
    {"AdvGlowButton9", u"Другие", "other.txt"},
};
constexpr int kIconButtons = 5;
constexpr TCatalogIcon kIcons[kIconButtons] = {TCatalogIcon::Love, TCatalogIcon::Parting, TCatalogIcon::Humor,
                                               TCatalogIcon::Depression, TCatalogIcon::Thoughts};

const QString kLinkText = u"Установить статус"_s;
const QString kLinkScheme = u"status"_s;
const QString kFontFamily = u"Arial"_s;

// The look of the flat buttons and strips; the current category keeps its highlight.
const QString kStyleSheet = uR"(
QFrame#Panel1, QFrame#Panel2 { background: #F7F8FA; border: none; }
QFrame#Panel2 { border-bottom: 1px solid #D3D9DE; }
QFrame#pnlPlayer { background: white; border: none; border-top: 1px solid #D3D9DE; }
QFrame#Panel1 QToolButton, QFrame#Panel2 QToolButton {
    border: 1px solid transparent; border-radius: 3px; background: transparent;
    color: #2B587A; padding: 0 2px; font-size: 8pt;
}
QFrame#Panel1 QToolButton:hover, QFrame#Panel2 QToolButton:hover {
    background: #E5EBF1; border-color: #C5D0DB;
}
QFrame#Panel1 QToolButton:pressed, QFrame#Panel2 QToolButton:pressed { background: #D6E0EA; }
QFrame#Panel1 QToolButton[current="true"], QFrame#Panel2 QToolButton[current="true"] {
    background: #DAE2EA; border-color: #B7C5D3;
}
QFrame#pnlPlayer QToolButton {
    border: 1px solid #C5D0DB; border-radius: 3px; background: #F2F5F8; color: #2B587A; font-size: 8pt;
}
QFrame#pnlPlayer QToolButton:hover { background: #E5EBF1; }
QFrame#pnlPlayer QToolButton:pressed { background: #D6E0EA; }
QFrame#pnlPlayer QToolButton:disabled { color: #A8B4C0; border-color: #DDE3E9; background: #F8F9FA; }
)"_s;

QToolButton* CreateButton(QWidget* parent, const QString& objectName, const QString& caption, QSize size)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setText(caption);
    button->setFixedSize(size);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

QFrame* CreateStrip(QWidget* parent, const QString& objectName, int height)
{
    auto* strip = new QFrame(parent);
    strip->setObjectName(objectName);
    strip->setFixedHeight(height);
    strip->setAttribute(Qt::WA_StyledBackground);
    return strip;
}

int LastPageOf(qsizetype lineCount)
{
    return lineCount == 0 ? 0 : int((lineCount - 1) / TfrmStatusBase::PageSize);
}

} // namespace

TfrmStatusBase::TfrmStatusBase(QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_baseFolder(QDir(QCoreApplication::applicationDirPath()).filePath(u"Base"_s))
{
    setObjectName(u"frmStatusBase"_s);
    setWindowTitle(u"Лучшие статусы в контакте"_s);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    setStyleSheet(kStyleSheet);
    CreateWidgets();
    resize(620, 410);
    RefreshPageButtons();
}

TfrmStatusBase::~TfrmStatusBase() = default;

void TfrmStatusBase::CreateWidgets()
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Five buttons of 120 pixels and their gaps fill the 620-pixel width exactly.
    Panel1 = CreateStrip(this, u"Panel1"_s, 48);
    auto* row1 = new QHBoxLayout(Panel1);
    row1->setContentsMargins(4, 3, 4, 3);
    row1->setSpacing(3);
    Panel2 = CreateStrip(this, u"Panel2"_s, 25);
    auto* row2 = new QHBoxLayout(Panel2);
    row2->setContentsMargins(4, 2, 4, 3);
    row2->setSpacing(3);

    for (int i = 0; i < int(std::size(kCategories)); ++i) {
        const TCategory& category = kCategories[i];
        const bool upper = i < kIconButtons;
        QToolButton* button = CreateButton(upper ? Panel1 : Panel2, QString::fromLatin1(category.objectName),
                                           QString::fromUtf16(category.caption), QSize(120, upper ? 42 : 20));
        if (upper) {
            button->setIcon(CatalogIcon(kIcons[i]));
            button->setIconSize(QSize(32, 32));
            button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
            row1->addWidget(button);
        } else {
            row2->addWidget(button);
        }
        const QString fileName = QString::fromLatin1(category.fileName);
        connect(button, &QToolButton::clicked, this, [this, fileName] { LoadCategory(fileName); });
        m_categoryButtons.push_back(button);
    }
    row1->addStretch();
    row2->addStretch();

    RichView1 = new QTextBrowser(this);
    RichView1->setObjectName(u"RichView1"_s);
    RichView1->setFrameShape(QFrame::NoFrame);
    RichView1->setReadOnly(true);
    // The view must only report a click: following the link would replace the page.
    RichView1->setOpenLinks(false);
    RichView1->setOpenExternalLinks(false);
    RichView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichView1->document()->setUndoRedoEnabled(false);
    RichView1->document()->setDocumentMargin(8);
    QPalette viewPalette = RichView1->palette();
    viewPalette.setColor(QPalette::Base, Qt::white);
    RichView1->setPalette(viewPalette);
    RichView1->viewport()->installEventFilter(this);
    connect(RichView1, &QTextBrowser::anchorClicked, this, &TfrmStatusBase::RichView1Jump);
    connect(RichView1, qOverload<const QUrl&>(&QTextBrowser::highlighted), this,
            &TfrmStatusBase::RichView1Highlight);

    pnlPlayer = CreateStrip(this, u"pnlPlayer"_s, 32);
    auto* player = new QHBoxLayout(pnlPlayer);
    player->setContentsMargins(4, 4, 4, 3);
    player->setSpacing(8);
    btnLeft = CreateButton(pnlPlayer, u"btnLeft"_s, u"Сюда"_s, QSize(60, 24));
    btnLeft->setIcon(CatalogIcon(TCatalogIcon::Back));
    btnLeft->setIconSize(QSize(16, 16));
    btnLeft->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnLeft->setAutoRaise(false);
    btnRight = CreateButton(pnlPlayer, u"btnRight"_s, u"Туда"_s, QSize(60, 24));
    btnRight->setIcon(CatalogIcon(TCatalogIcon::Forward));
    btnRight->setIconSize(QSize(16, 16));
    btnRight->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnRight->setAutoRaise(false);
    // Mirrored, the button draws its icon to the right of the caption.
    btnRight->setLayoutDirection(Qt::RightToLeft);
    slPage = new QSlider(Qt::Horizontal, pnlPlayer);
    slPage->setObjectName(u"slPage"_s);
    slPage->setCursor(Qt::PointingHandCursor);
    slPage->setRange(0, 0);
    slPage->setSingleStep(1);
    slPage->setPageStep(1);
    player->addWidget(btnLeft);
    player->addWidget(slPage, 1);
    player->addWidget(btnRight);
    connect(slPage, &QSlider::valueChanged, this, &TfrmStatusBase::slPageChange);
    connect(btnLeft, &QToolButton::clicked, this, &TfrmStatusBase::btnLeftClick);
    connect(btnRight, &QToolButton::clicked, this, &TfrmStatusBase::btnRightClick);

    column->addWidget(Panel1);
    column->addWidget(Panel2);
    column->addWidget(RichView1, 1);
    column->addWidget(pnlPlayer);
}

void TfrmStatusBase::SetStatusTarget(StatusTarget target)
{
    m_target = std::move(target);
}

void TfrmStatusBase::SetBaseFolder(const QString& folder)
{
    m_baseFolder = folder;
}

int TfrmStatusBase::CurrentPage() const
{
    return slPage->value();
}

int TfrmStatusBase::LastPage() const
{
    return LastPageOf(m_lines.Count());
}

void TfrmStatusBase::LoadCategory(const QString& fileName)
{
    // Read first: a file that cannot be read leaves lines, page and view as they were.
    TCategoryLines lines = TCategoryLines::FromFile(QDir(m_baseFolder).filePath(fileName));
    m_lines = std::move(lines);
    m_category = fileName;
    for (size_t i = 0; i < m_categoryButtons.size(); ++i) {
        QToolButton* button = m_categoryButtons[i];
        const bool current = fileName == QLatin1StringView(kCategories[i].fileName);
        if (button->property("current").toBool() != current) {
            button->setProperty("current", current);
            button->style()->unpolish(button);
            button->style()->polish(button);
        }
    }
    {
        // Otherwise the range and position changes would each lay out a page of their own.
        const QSignalBlocker blocker(slPage);
        slPage->setRange(0, LastPage());
        slPage->setValue(0);
    }
    RefreshPageButtons();
    ShowPage();
}

void TfrmStatusBase::ShowPage()
{
    RichView1->verticalScrollBar()->setValue(0);
    QTextDocument* document = RichView1->document();
    document->clear();
    m_pageTexts.clear();
    m_hoveredLink = -1;

    const qsizetype first = qsizetype(CurrentPage()) * PageSize;
    const qsizetype last = std::min(first + PageSize, m_lines.Count());
    if (first >= last) {
        return;
    }

    QTextBlockFormat statusBlock;
    statusBlock.setTopMargin(5);
    QTextCharFormat statusChar;
    statusChar.setFontFamilies({kFontFamily});

    QTextBlockFormat linkBlock;
    linkBlock.setTopMargin(5);
    linkBlock.setBottomMargin(5);
    QTextCharFormat linkChar;
    linkChar.setFontFamilies({kFontFamily});
    linkChar.setFontPointSize(8);
    linkChar.setForeground(QColor(153, 153, 153));
    linkChar.setAnchor(true);

    QTextBlockFormat separatorBlock;
    separatorBlock.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth,
                               QTextLength(QTextLength::PercentageLength, 100));
    separatorBlock.setBackground(QColor(0xEE, 0xEE, 0xEE));
    QTextCharFormat separatorChar;
    separatorChar.setFontPointSize(1);

    // One edit block: the document is laid out and repainted once, after the last item.
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (qsizetype i = first; i < last; ++i) {
        const int k = int(m_pageTexts.size());
        m_pageTexts.push_back(m_lines.Text(i));
        if (k == 0) {
            cursor.setBlockFormat(statusBlock);
            cursor.setBlockCharFormat(statusChar);
        } else {
            cursor.insertBlock(statusBlock, statusChar);
        }
        cursor.insertText(m_pageTexts.back(), statusChar);

        // The view reports nothing for a link with an empty target, so each gets its own.
        linkChar.setAnchorHref(u"%1:%2"_s.arg(kLinkScheme).arg(k));
        cursor.insertBlock(linkBlock, linkChar);
        cursor.insertText(kLinkText, linkChar);

        cursor.insertBlock(separatorBlock, separatorChar);
    }
    cursor.endEditBlock();
}

void TfrmStatusBase::RefreshPageButtons()
{
    const int page = CurrentPage();
    btnLeft->setEnabled(page != 0);
    btnRight->setEnabled(page != LastPage());
}

void TfrmStatusBase::slPageChange()
{
    RefreshPageButtons();
    ShowPage();
}

void TfrmStatusBase::btnLeftClick()
{
    if (CurrentPage() > 0) {
        slPage->setValue(CurrentPage() - 1);
    }
}

void TfrmStatusBase::btnRightClick()
{
    if (CurrentPage() < LastPage()) {
        slPage->setValue(CurrentPage() + 1);
    }
}

void TfrmStatusBase::RichView1Jump(const QUrl& link)
{
    if (link.scheme() != kLinkScheme) {
        return;
    }
    bool ok = false;
    const int k = link.path().toInt(&ok);
    if (!ok || k < 0 || k >= int(m_pageTexts.size())) {
        return;
    }
    const QString status = m_pageTexts[size_t(k)];
    if (m_target) {
        m_target(status);
    }
    close();
}

// The view has no hover style for links, so the link under the mouse gets its underline here.
void TfrmStatusBase::RichView1Highlight(const QUrl& link)
{
    int k = -1;
    if (link.scheme() == kLinkScheme) {
        bool ok = false;
        k = link.path().toInt(&ok);
        if (!ok || k < 0 || k >= int(m_pageTexts.size())) {
            k = -1;
        }
    }
    if (k == m_hoveredLink) {
        return;
    }
    if (m_hoveredLink >= 0) {
        UnderlineLink(m_hoveredLink, false);
    }
    m_hoveredLink = k;
    if (k >= 0) {
        UnderlineLink(k, true);
    }
}

void TfrmStatusBase::UnderlineLink(int index, bool underline)
{
    // Every status takes three blocks: its text, its link, the separator.
    const QTextBlock block = RichView1->document()->findBlockByNumber(index * 3 + 1);
    if (!block.isValid()) {
        return;
    }
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    QTextCharFormat format;
    format.setFontUnderline(underline);
    cursor.mergeCharFormat(format);
}

bool TfrmStatusBase::eventFilter(QObject* watched, QEvent* event)
{
    // The view does not report leaving a link when the mouse leaves the view itself.
    if (watched == RichView1->viewport() && event->type() == QEvent::Leave) {
        RichView1Highlight(QUrl());
    }
    return QWidget::eventFilter(watched, event);
}
