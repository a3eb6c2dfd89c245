#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include "tests/testsupport/VkEmu.h"

// Waits until the condition holds, keeping Qt's events moving; false after the time-out.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// The emulator as the installed program meets it: on port 80 of 127.0.0.1, inside the private
// network namespace in which the fixed host names lead there (scripts/netns-run.sh).
class Port80Emulator
{
public:
    explicit Port80Emulator(const QString& logPath);
    ~Port80Emulator();
    Port80Emulator(const Port80Emulator&) = delete;
    Port80Emulator& operator=(const Port80Emulator&) = delete;

    bool Started() const { return m_started; }
    QString Error() const { return m_error; }
    QList<VkEmuRequest> Requests() const; // the record, in order
    QJsonObject State() const;            // the emulator's accounts and sessions
    QString StatusOf(const QString& login) const;

private:
    QString m_logPath;
    QProcess m_process;
    bool m_started = false;
    QString m_error;
};

// One user's home for the program: a data folder and an owner-only runtime folder.
class Home
{
public:
    Home();
    QString DataFolder() const; // <data>/Quillbox, created
    QString Root() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// The real quillbox binary on the session's X display, with nothing but a user's environment.
class QuillboxProcess
{
public:
    explicit QuillboxProcess(const Home& home, const QString& name);
    ~QuillboxProcess();

    bool Start();
    bool Running() const;
    // The exit code, or nothing when it did not end in time or ended by a signal.
    std::optional<int> WaitExit(std::chrono::milliseconds timeout);
    void Terminate(); // SIGTERM
    QString ErrorOutput() const;

private:
    QProcess m_process;
    QString m_errPath;
};
