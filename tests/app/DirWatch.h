#pragma once

#include <QString>
#include <QStringList>

// Records, in order, the files that appear complete (closed after writing, or renamed into
// place) and the files removed in the watched folders. Linux inotify.
class DirWatch
{
public:
    DirWatch();
    ~DirWatch();
    DirWatch(const DirWatch&) = delete;
    DirWatch& operator=(const DirWatch&) = delete;

    bool Watch(const QString& folder);
    // Events so far as "written <name>" / "removed <name>", temporary files left out.
    QStringList Events();

private:
    int m_fd = -1;
    QStringList m_events;
};
