#pragma once

#include <QString>

// Makes a folder refuse new files for one test, also for root (which ignores permission bits):
// mode 0555 for other users, the immutable attribute for root. Restores the folder afterwards.
class ReadOnlyFolder
{
public:
    explicit ReadOnlyFolder(const QString& path);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    // False when the machine offers neither way; the caller skips the test then.
    bool Active() const { return m_active; }

private:
    QString m_path;
    bool m_active = false;
    bool m_immutable = false;
};
