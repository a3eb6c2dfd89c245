#pragma once

#include <QFont>

// Tahoma 8 pt where the font is installed, otherwise the system's sans-serif at 8 pt.
QFont UiFont();
