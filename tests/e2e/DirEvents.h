#pragma once

#include <cstdint>

#include <QList>
#include <QString>

// Every change inside one folder, in the order the kernel saw them (inotify): which file was
// created, written, renamed into place or removed. Timestamps are too coarse to order two saves
// made within the same clock tick; this is not.
class DirEvents
{
public:
    struct Event
    {
        QString name;
        uint32_t mask = 0;
        // Contents appear under this name: created (also by linking an unnamed temporary file),
        // renamed into place or written.
        bool Lands() const;
    };

    explicit DirEvents(const QString& folder);
    ~DirEvents();
    DirEvents(const DirEvents&) = delete;
    DirEvents& operator=(const DirEvents&) = delete;

    bool Ok() const { return m_fd >= 0 && m_watch >= 0; }
    QList<Event> Take(); // the events since the last call
    static QString Describe(const QList<Event>& events);

private:
    int m_fd = -1;
    int m_watch = -1;
};
