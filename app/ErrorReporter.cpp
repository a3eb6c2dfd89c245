#include "app/ErrorReporter.h"

#include <cstdio>

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

ErrorBox g_box;
std::function<void(const QString&)> g_log;
QPointer<QWidget> g_owner;
bool g_suppressed = false;

void ShowDefaultBox(const QString& message)
{
    QMessageBox::warning(g_owner.data(), u"Quillbox"_s, message);
}

} // namespace

QString MessageOf(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        // Every error of ours carries UTF-8 text.
        return QString::fromUtf8(e.what());
    } catch (...) {
        return u"Неизвестная ошибка"_s;
    }
}

void ReportError(const QString& message)
{
    std::fprintf(stderr, "Quillbox: %s\n", message.toLocal8Bit().constData());
    if (g_log)
        g_log(message);
    if (g_suppressed)
        return;
    if (g_box)
        g_box(message);
    else
        ShowDefaultBox(message);
}

void ReportCurrentException()
{
    const QString message = MessageOf(std::current_exception());
    // A throwing log or box must not take the program down from inside a catch block.
    try {
        ReportError(message);
    } catch (...) {
        std::fprintf(stderr, "Quillbox: error while reporting an error\n");
    }
}

void SetErrorBox(ErrorBox box)
{
    g_box = std::move(box);
}

void SetErrorLog(std::function<void(const QString&)> log)
{
    g_log = std::move(log);
}

void SetErrorBoxOwner(QWidget* owner)
{
    g_owner = owner;
}

void SetErrorBoxSuppressed(bool suppressed)
{
    g_suppressed = suppressed;
}
