#include "DirEvents.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QStringList>

namespace {

constexpr uint32_t kChanges =
    IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE | IN_ATTRIB;

} // namespace

bool DirEvents::Event::Lands() const
{
    return (mask & (IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO)) != 0;
}

DirEvents::DirEvents(const QString& folder)
{
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0)
        m_watch = inotify_add_watch(m_fd, folder.toLocal8Bit().constData(), kChanges);
}

DirEvents::~DirEvents()
{
    if (m_fd >= 0)
        close(m_fd);
}

QList<DirEvents::Event> DirEvents::Take()
{
    QList<Event> events;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t off = 0; off < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + off);
            if (e->mask & kChanges)
                events.append({QString::fromLocal8Bit(e->len ? e->name : ""), e->mask});
            off += ssize_t(sizeof(inotify_event) + e->len);
        }
    }
    return events;
}

QString DirEvents::Describe(const QList<Event>& events)
{
    QStringList parts;
    for (const Event& e : events) {
        QStringList kinds;
        if (e.mask & IN_CREATE)
            kinds << QStringLiteral("create");
        if (e.mask & IN_MODIFY)
            kinds << QStringLiteral("modify");
        if (e.mask & IN_CLOSE_WRITE)
            kinds << QStringLiteral("close-write");
        if (e.mask & IN_MOVED_FROM)
            kinds << QStringLiteral("moved-from");
        if (e.mask & IN_MOVED_TO)
            kinds << QStringLiteral("moved-to");
        if (e.mask & IN_DELETE)
            kinds << QStringLiteral("delete");
        if (e.mask & IN_ATTRIB)
            kinds << QStringLiteral("attrib");
        parts << e.name + QStringLiteral(" (") + kinds.join(QStringLiteral(",")) + QStringLiteral(")");
    }
    return parts.isEmpty() ? QStringLiteral("(none)") : parts.join(QStringLiteral("; "));
}
