#include "settings/SaveFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include <QSaveFile>

QString SaveToFile(const QString& path, const QByteArray& data, bool ownerOnly)
{
    QSaveFile file(path);
    // Writing in place would leave a half-written file behind on failure.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // QSaveFile gives a new file 0666 minus the umask and copies an existing file's mode, so an
    // owner-only file is narrowed here, on the temporary file, before any byte is in it.
    if (ownerOnly && ::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0) {
        const QString error = QString::fromLocal8Bit(std::strerror(errno));
        file.cancelWriting();
        return error;
    }
    if (file.write(data) != data.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}
