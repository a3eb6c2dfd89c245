#pragma once

#include <exception>
#include <functional>

#include <QString>

class QWidget;

// The program's top-level error reporter: an error that escapes a handler becomes a red line in
// the activity log and a warning box, and the program goes on.
void ReportError(const QString& message);
// Reports the exception being handled; call only inside a catch block.
void ReportCurrentException();
QString MessageOf(const std::exception_ptr& error);

// Runs a handler and reports whatever it throws, so no exception reaches Qt's event loop.
template <typename Handler> void Reported(Handler&& handler)
{
    try {
        handler();
    } catch (...) {
        ReportCurrentException();
    }
}

// Seam for the warning box; the production box is a modal QMessageBox over the main window.
using ErrorBox = std::function<void(const QString& message)>;
void SetErrorBox(ErrorBox box);
// Where the red line goes; the main window sets it while it exists.
void SetErrorLog(std::function<void(const QString& message)> log);
// The window the box is shown over.
void SetErrorBoxOwner(QWidget* owner);
// Once the program is ending, errors are only logged: a box would open after the loop has ended.
void SetErrorBoxSuppressed(bool suppressed);
