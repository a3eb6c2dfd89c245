#include "app/UiFont.h"

#include <QFontDatabase>
#include <QStringList>

using namespace Qt::StringLiterals;

QFont UiFont()
{
    static const QFont font = [] {
        QFont f;
        if (QFontDatabase::families().contains(u"Tahoma"_s, Qt::CaseInsensitive)) {
            f = QFont(u"Tahoma"_s);
        } else {
            f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
            f.setStyleHint(QFont::SansSerif);
        }
        f.setPointSize(8);
        return f;
    }();
    return font;
}
