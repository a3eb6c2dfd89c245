#include "DirWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

DirWatch::DirWatch() : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

DirWatch::~DirWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DirWatch::Watch(const QString& folder)
{
    return m_fd >= 0 && inotify_add_watch(m_fd, folder.toLocal8Bit().constData(),
                                          IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE) >= 0;
}

QStringList DirWatch::Events()
{
    alignas(inotify_event) char buffer[8192];
    ssize_t n;
    while (m_fd >= 0 && (n = ::read(m_fd, buffer, sizeof buffer)) > 0) {
        for (char* p = buffer; p < buffer + n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(p);
            const QString name = e->len ? QString::fromLocal8Bit(e->name) : QString();
            // QSaveFile writes "<name>.XXXXXX" and renames it: only the final names count.
            const bool temporary = name.contains(QLatin1Char('.')) && !name.endsWith(QLatin1String(".lst")) &&
                                   !name.endsWith(QLatin1String(".xml")) &&
                                   !name.endsWith(QLatin1String(".lock"));
            if (!temporary && !name.isEmpty()) {
                if (e->mask & IN_DELETE)
                    m_events.append(QLatin1String("removed ") + name);
                else
                    m_events.append(QLatin1String("written ") + name);
            }
            p += sizeof(inotify_event) + e->len;
        }
    }
    return m_events;
}
