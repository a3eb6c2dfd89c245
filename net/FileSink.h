#pragma once

#include <vector>

#include <QFile>
#include <QString>

// A reply body written to a file through a fixed 8192-byte buffer.
class FileSink
{
public:
    static constexpr size_t BufferSize = 8192;

    explicit FileSink(const QString& path);
    bool Open(); // creates or truncates the file
    bool Write(const char* data, size_t size);
    bool Close(); // flushes the buffer; false when a write failed at any point

private:
    bool Drain();

    QFile m_file;
    std::vector<char> m_buffer;
    size_t m_used = 0;
    bool m_failed = false;
};
