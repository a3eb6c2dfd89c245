#pragma once

#include <functional>
#include <vector>

#include <QString>
#include <QWidget>

#include "catalog/CategoryLines.h"

class QFrame;
class QSlider;
class QTextBrowser;
class QToolButton;
class QUrl;

// The status catalog window. The main window hands it the callback that puts a chosen status
// into its editor (the catalog never includes the main window).
class TfrmStatusBase : public QWidget
{
    Q_OBJECT
public:
    using StatusTarget = std::function<void(const QString& status)>;
    static constexpr int PageSize = 20;

    explicit TfrmStatusBase(QWidget* parent = nullptr);
    ~TfrmStatusBase() override;

    void SetStatusTarget(StatusTarget target);
    // Raises Exception naming the file when it is missing or unreadable; nothing changes then.
    void LoadCategory(const QString& fileName);
    void ShowPage();

    // The folder of the category files; applicationDirPath() + "/Base" unless set.
    void SetBaseFolder(const QString& folder);
    QString BaseFolder() const { return m_baseFolder; }
    const TCategoryLines& Lines() const { return m_lines; }
    // The file name of the loaded category; empty before the first load.
    QString CurrentCategory() const { return m_category; }
    int CurrentPage() const;
    int LastPage() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateWidgets();
    void RefreshPageButtons();
    void slPageChange();
    void btnLeftClick();
    void btnRightClick();
    void RichView1Jump(const QUrl& link);
    void RichView1Highlight(const QUrl& link);
    void UnderlineLink(int index, bool underline);

    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    QTextBrowser* RichView1 = nullptr;
    QFrame* pnlPlayer = nullptr;
    QToolButton* btnLeft = nullptr;
    QSlider* slPage = nullptr;
    QToolButton* btnRight = nullptr;
    std::vector<QToolButton*> m_categoryButtons;

    StatusTarget m_target;
    QString m_baseFolder;
    QString m_category;
    TCategoryLines m_lines;
    std::vector<QString> m_pageTexts; // the statuses shown, link k belongs to entry k
    int m_hoveredLink = -1;
};
