#pragma once

#include <functional>

#include <QString>
#include <QWidget>

// The status catalog window. The main window hands it the callback that puts a chosen status
// into its editor (the catalog never includes the main window).
class TfrmStatusBase : public QWidget
{
    Q_OBJECT
public:
    using StatusTarget = std::function<void(const QString& status)>;

    explicit TfrmStatusBase(QWidget* parent = nullptr);
    ~TfrmStatusBase() override;

    void SetStatusTarget(StatusTarget target);
    // Raises Exception naming the file when it is missing or unreadable; nothing changes then.
    void LoadCategory(const QString& fileName);
    void ShowPage();
};
