#pragma once

#include <QByteArray>
#include <QString>

namespace emu {

// A real JPEG of 130 x 50 pixels: the digits of text in seven-segment strokes over some noise.
QByteArray CaptchaJpeg(const QString& text);

} // namespace emu
