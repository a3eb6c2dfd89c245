#pragma once

#include <QPoint>
#include <QSize>

class TOptions;

// Where the main window opens, from the stored geometry.
struct TPlacement
{
    bool Stored = false; // false: the designed size, centred on the desktop
    QSize Outer;         // the frame's size
    QPoint TopLeft;      // the frame's top-left corner
    bool Maximized = false;
};

// Applies the stored-geometry rules against the primary screen's size. The corrected Left and Top
// are written back into options, since they are what is saved at exit.
TPlacement PlaceFromOptions(TOptions& options, const QSize& screen);
