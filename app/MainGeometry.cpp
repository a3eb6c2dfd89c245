#include "app/MainGeometry.h"

#include "settings/uOptions.h"

TPlacement PlaceFromOptions(TOptions& options, const QSize& screen)
{
    TPlacement p;
    // A negative size (a damaged file) is no size either: Qt cannot make such a window.
    if (options.Width() <= 0 || options.Height() <= 0)
        return p;
    p.Stored = true;
    p.Outer = QSize(options.Width(), options.Height());
    if (options.Top() < 0)
        options.SetTop(0);
    if (options.Left() < 0)
        options.SetLeft(0);
    // Only a corner beyond the screen moves the window; one reaching past an edge stays.
    if (options.Top() > screen.height())
        options.SetTop(screen.height() - p.Outer.height());
    if (options.Left() > screen.width())
        options.SetLeft(screen.width() - p.Outer.width());
    p.TopLeft = QPoint(options.Left(), options.Top());
    p.Maximized = options.Maximized();
    return p;
}
