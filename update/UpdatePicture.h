#pragma once

#include <QPixmap>
#include <QSize>

// The notice's decorative side picture, drawn at run time so it stays sharp at any scale.
QPixmap DrawUpdatePicture(const QSize& size, qreal devicePixelRatio);
