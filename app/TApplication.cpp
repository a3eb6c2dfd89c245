#include "app/TApplication.h"

#include "app/ErrorReporter.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportCurrentException();
        return false;
    }
}

bool TApplication::DeliverReported(QObject* receiver, QEvent* event)
{
    try {
        return QCoreApplication::instance()->notify(receiver, event);
    } catch (...) {
        ReportCurrentException();
        return false;
    }
}
