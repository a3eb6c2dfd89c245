#include "app/Tray.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <QWidget>

bool TSystemTray::Available() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TSystemTray::ShowBalloon(const QString& text)
{
    m_icon->showMessage(QString(), text, QSystemTrayIcon::NoIcon);
}

void TSystemTray::ClearBalloon()
{
    // Only Qt's own balloon window can be taken back. On the D-Bus tray an empty message would
    // post a new, blank notification instead.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (w->isVisible() && w->inherits("QBalloonTip")) {
            m_icon->showMessage(QString(), QString(), QSystemTrayIcon::NoIcon);
            return;
        }
    }
}
