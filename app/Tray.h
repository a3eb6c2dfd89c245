#pragma once

#include <QString>

class QSystemTrayIcon;

// What minimising to the tray needs from the desktop. The main window asks at each minimise,
// since a tray host often starts after the program; the offscreen tests put their own in.
class TTray
{
public:
    virtual ~TTray() = default;
    virtual bool Available() const = 0;
    virtual void ShowBalloon(const QString& text) = 0;
    // Removes a balloon still on the screen; does nothing where none is showing.
    virtual void ClearBalloon() = 0;
};

// The production tray: the notification-area icon of the main window.
class TSystemTray : public TTray
{
public:
    explicit TSystemTray(QSystemTrayIcon* icon) : m_icon(icon) {}
    bool Available() const override;
    void ShowBalloon(const QString& text) override;
    void ClearBalloon() override;

private:
    QSystemTrayIcon* m_icon;
};
