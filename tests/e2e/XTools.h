#pragma once

#include <optional>

#include <QString>
#include <QStringList>

// What the X server and the window manager say about a window, asked through the same command-line
// tools a person would use (xdotool, xwininfo, xprop, ImageMagick's import).
namespace XTools {

using WindowId = unsigned long;

// Runs a tool; returns its standard output, or nothing when it failed or timed out.
std::optional<QString> Run(const QString& program, const QStringList& args, int timeoutMs = 10000);

std::optional<WindowId> FindWindow(const QString& exactTitle); // mapped or not
QString MapState(WindowId w);                                  // "IsViewable", "IsUnMapped", ...
QString WmState(WindowId w);        // "Normal", "Iconic", or empty when the window manager dropped it
QStringList NetWmState(WindowId w); // _NET_WM_STATE atoms
QStringList WmClass(WindowId w);    // instance, class
bool InClientList(WindowId w);      // managed (has a taskbar entry)
std::optional<WindowId> ActiveWindow();
bool Minimise(WindowId w);
bool Screenshot(WindowId w, const QString& pngPath); // with the window manager's frame

} // namespace XTools
