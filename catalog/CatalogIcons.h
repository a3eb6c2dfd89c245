#pragma once

#include <QIcon>

// Icons of the catalog's buttons, drawn here so that no picture files have to ship.
enum class TCatalogIcon { Love, Parting, Humor, Depression, Thoughts, Back, Forward };

QIcon CatalogIcon(TCatalogIcon kind);
