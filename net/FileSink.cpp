#include "FileSink.h"

#include <algorithm>
#include <cstring>

FileSink::FileSink(const QString& path) : m_file(path), m_buffer(BufferSize) {}

bool FileSink::Open()
{
    // unbuffered: our own buffer decides the size of every write
    return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

bool FileSink::Drain()
{
    if (m_used == 0)
        return true;
    const auto size = static_cast<qint64>(m_used);
    m_used = 0;
    if (m_file.write(m_buffer.data(), size) != size)
        m_failed = true;
    return !m_failed;
}

bool FileSink::Write(const char* data, size_t size)
{
    if (m_failed || !m_file.isOpen())
        return false;
    while (size > 0) {
        const size_t piece = std::min(size, BufferSize - m_used);
        std::memcpy(m_buffer.data() + m_used, data, piece);
        m_used += piece;
        data += piece;
        size -= piece;
        if (m_used == BufferSize && !Drain())
            return false;
    }
    return true;
}

bool FileSink::Close()
{
    if (!m_file.isOpen())
        return false;
    Drain();
    m_file.close();
    return !m_failed && m_file.error() == QFileDevice::NoError;
}
