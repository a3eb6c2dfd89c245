#pragma once

#include <QString>
#include <QTemporaryDir>

// Points the data folder (XDG_DATA_HOME) at a fresh temporary folder for one test and restores
// the previous value afterwards.
class TempDataFolder
{
public:
    TempDataFolder();
    ~TempDataFolder();
    QString DataFolder() const;  // ends with "/Quillbox/"
    QString Root() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};
