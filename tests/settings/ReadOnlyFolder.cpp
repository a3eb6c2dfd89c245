#include "ReadOnlyFolder.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QFile>

namespace {

bool SetImmutable(const QString& path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

} // namespace

ReadOnlyFolder::ReadOnlyFolder(const QString& path) : m_path(path)
{
    if (::geteuid() == 0) {
        m_immutable = SetImmutable(path, true);
        m_active = m_immutable;
    } else {
        m_active = QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                   QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                                                   QFileDevice::ReadOther | QFileDevice::ExeOther);
    }
}

ReadOnlyFolder::~ReadOnlyFolder()
{
    if (m_immutable)
        SetImmutable(m_path, false);
    else if (m_active)
        QFile::setPermissions(m_path,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
