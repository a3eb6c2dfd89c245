#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include <QString>

// The five usage-statistics values, read and updated as a whole by the background thread.
struct TGAValues
{
    qint64 Count = 0;
    qint64 FirstTime = 0;
    qint64 Hash = 0;
    qint64 ID = 0;
    qint64 PrevTime = 0;
};

// The one settings object. Every operation holds one lock (no operation takes it twice), so the
// user-interface thread and the version-check thread may both use it.
class TOptions
{
public:
    TOptions(); // runs Reset

    void Reset(); // finds and creates DataFolder; every value 0 or false
    void Load();  // Reset, then reads Options.xml if it exists; raises std::runtime_error
    void Save();  // writes Options.xml atomically; raises std::runtime_error with the reason

    QString DataFolder() const; // always ends with "/"

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    bool Maximized() const;
    void SetLeft(int v);
    void SetTop(int v);
    void SetWidth(int v);
    void SetHeight(int v);
    void SetMaximized(bool v);

    TGAValues GA() const;
    void SetGA(const TGAValues& v);
    // Reads and updates the usage values in one locked step.
    void UpdateGA(const std::function<void(TGAValues&)>& update);

private:
    void ResetLocked();
    mutable std::mutex m_lock;
    QString m_dataFolder;
    int m_left = 0, m_top = 0, m_width = 0, m_height = 0;
    bool m_maximized = false;
    TGAValues m_ga;
};

extern TOptions* Options;

void OptionsStart(); // creates Options (Reset, data folder created)
void OptionsStop();  // releases Options (saving is the caller's step, see the start-up sequence)
