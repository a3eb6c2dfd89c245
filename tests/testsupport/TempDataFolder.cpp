#include "TempDataFolder.h"

#include <QDir>

TempDataFolder::TempDataFolder() : m_previous(qgetenv("XDG_DATA_HOME"))
{
    qputenv("XDG_DATA_HOME", m_dir.path().toLocal8Bit());
}

TempDataFolder::~TempDataFolder()
{
    qputenv("XDG_DATA_HOME", m_previous);
}

QString TempDataFolder::DataFolder() const
{
    return m_dir.path() + QStringLiteral("/Quillbox/");
}
