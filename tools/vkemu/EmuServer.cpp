#include "EmuServer.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace emu {
namespace {

thread_local Connection* t_connection = nullptr;

constexpr int kIoTimeoutMs = 10000;

void addressOf(const sockaddr_storage& addr, std::string& ip, int& port)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
        inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
        port = ntohs(a->sin_port);
    } else if (addr.ss_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
        inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
        port = ntohs(a->sin6_port);
    }
    ip = text;
}

class RecordingStream final : public httplib::Stream
{
public:
    RecordingStream(int fd, Connection& connection, const std::atomic<bool>& stopping)
        : m_fd(fd), m_connection(connection), m_stopping(stopping)
    {
    }

    bool is_readable() const override { return m_pos < m_len || waitFor(POLLIN); }
    bool is_writable() const override { return !m_connection.drop && waitFor(POLLOUT); }

    ssize_t read(char* ptr, size_t size) override
    {
        if (m_pos == m_len) {
            if (!waitFor(POLLIN))
                return -1;
            const ssize_t n = ::recv(m_fd, m_buffer, sizeof m_buffer, 0);
            if (n <= 0)
                return n < 0 ? -1 : 0;
            m_pos = 0;
            m_len = size_t(n);
        }
        const size_t n = std::min(size, m_len - m_pos);
        std::memcpy(ptr, m_buffer + m_pos, n);
        m_connection.raw.append(ptr, n);
        m_pos += n;
        return ssize_t(n);
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        if (m_connection.drop)
            return -1;
        size_t done = 0;
        while (done < size) {
            if (!waitFor(POLLOUT))
                return -1;
            const ssize_t n = ::send(m_fd, ptr + done, size - done, MSG_NOSIGNAL);
            if (n < 0)
                return -1;
            done += size_t(n);
        }
        return ssize_t(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            addressOf(addr, ip, port);
    }

    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            addressOf(addr, ip, port);
    }

    socket_t socket() const override { return m_fd; }

private:
    // Waits in short slices so that a stopping server is not held by an idle client.
    bool waitFor(short events) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kIoTimeoutMs);
        while (!m_stopping) {
            pollfd p{m_fd, events, 0};
            const int r = ::poll(&p, 1, 100);
            if (r > 0)
                return (p.revents & (events | POLLHUP | POLLERR)) != 0;
            if (r < 0 && errno != EINTR)
                return false;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
        }
        return false;
    }

    int m_fd;
    Connection& m_connection;
    const std::atomic<bool>& m_stopping;
    char m_buffer[16384];
    size_t m_pos = 0;
    size_t m_len = 0;
};

} // namespace

Connection* CurrentConnection()
{
    return t_connection;
}

bool RecordingServer::process_and_close_socket(socket_t sock)
{
    Connection connection;
    {
        RecordingStream stream(sock, connection, m_stopping);
        t_connection = &connection;
        bool closed = false;
        process_request(stream, true, closed, nullptr);
        t_connection = nullptr;
    }
    if (!connection.drop)
        ::shutdown(sock, SHUT_WR);
    ::close(sock);
    return true;
}

} // namespace emu
