#pragma once

#include <QApplication>

// The application object: every event is delivered inside a guard, so an exception escaping any
// handler reaches the top-level reporter instead of crossing Qt's event loop.
class TApplication : public QApplication
{
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // The guarded delivery itself, usable with any application object.
    static bool DeliverReported(QObject* receiver, QEvent* event);
};
