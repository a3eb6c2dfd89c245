#include "XTools.h"

#include <QProcess>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace XTools {

std::optional<QString> Run(const QString& program, const QStringList& args, int timeoutMs)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        return std::nullopt;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput());
}

static QString Hex(WindowId w)
{
    return u"0x"_s + QString::number(w, 16);
}

std::optional<WindowId> FindWindow(const QString& exactTitle)
{
    const QString pattern = u"^"_s + QRegularExpression::escape(exactTitle) + u"$"_s;
    const auto out = Run(u"xdotool"_s, {u"search"_s, u"--name"_s, pattern});
    if (!out)
        return std::nullopt;
    const QStringList ids = out->split(u'\n', Qt::SkipEmptyParts);
    if (ids.isEmpty())
        return std::nullopt;
    bool ok = false;
    const WindowId w = ids.first().trimmed().toULong(&ok);
    return ok ? std::optional<WindowId>(w) : std::nullopt;
}

QString MapState(WindowId w)
{
    const auto out = Run(u"xwininfo"_s, {u"-id"_s, Hex(w)});
    if (!out)
        return {};
    const auto m = QRegularExpression(u"Map State:\\s*(\\w+)"_s).match(*out);
    return m.hasMatch() ? m.captured(1) : QString();
}

QString WmState(WindowId w)
{
    const auto out = Run(u"xprop"_s, {u"-id"_s, Hex(w), u"WM_STATE"_s});
    if (!out)
        return {};
    const auto m = QRegularExpression(u"window state:\\s*(\\w+)"_s).match(*out);
    return m.hasMatch() ? m.captured(1) : QString();
}

QStringList NetWmState(WindowId w)
{
    const auto out = Run(u"xprop"_s, {u"-id"_s, Hex(w), u"_NET_WM_STATE"_s});
    if (!out || !out->contains(u'='))
        return {};
    QStringList atoms;
    for (const QString& a : out->section(u'=', 1).split(u',', Qt::SkipEmptyParts))
        atoms << a.trimmed();
    return atoms;
}

QStringList WmClass(WindowId w)
{
    const auto out = Run(u"xprop"_s, {u"-id"_s, Hex(w), u"WM_CLASS"_s});
    QStringList parts;
    if (!out)
        return parts;
    auto it = QRegularExpression(u"\"([^\"]*)\""_s).globalMatch(*out);
    while (it.hasNext())
        parts << it.next().captured(1);
    return parts;
}

bool InClientList(WindowId w)
{
    const auto out = Run(u"xprop"_s, {u"-root"_s, u"_NET_CLIENT_LIST"_s});
    if (!out)
        return false;
    auto it = QRegularExpression(u"0x[0-9a-fA-F]+"_s).globalMatch(*out);
    while (it.hasNext()) {
        if (it.next().captured(0).toULong(nullptr, 16) == w)
            return true;
    }
    return false;
}

std::optional<WindowId> ActiveWindow()
{
    const auto out = Run(u"xdotool"_s, {u"getactivewindow"_s});
    bool ok = false;
    const WindowId w = out ? out->trimmed().toULong(&ok) : 0;
    return ok ? std::optional<WindowId>(w) : std::nullopt;
}

bool Minimise(WindowId w)
{
    return Run(u"xdotool"_s, {u"windowminimize"_s, QString::number(w)}).has_value();
}

bool Screenshot(WindowId w, const QString& pngPath)
{
    return Run(u"import"_s, {u"-frame"_s, u"-window"_s, Hex(w), u"png:"_s + pngPath}).has_value();
}

} // namespace XTools
