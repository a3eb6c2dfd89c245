#include "LocalHttpServer.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(std::string_view s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return std::string(s.substr(b, e - b));
}

// Parses the request line and the header lines of a raw head.
void ParseHead(RecordedRequest& r)
{
    size_t pos = 0;
    bool first = true;
    while (pos < r.head.size()) {
        const size_t end = r.head.find("\r\n", pos);
        if (end == std::string::npos || end == pos)
            break;
        const std::string line = r.head.substr(pos, end - pos);
        pos = end + 2;
        if (first) {
            first = false;
            const size_t a = line.find(' ');
            const size_t b = line.rfind(' ');
            if (a != std::string::npos && b != std::string::npos && b > a) {
                r.method = line.substr(0, a);
                r.target = line.substr(a + 1, b - a - 1);
                r.version = line.substr(b + 1);
            }
            continue;
        }
        const size_t colon = line.find(':');
        if (colon != std::string::npos)
            r.headers.emplace_back(line.substr(0, colon), Trim(std::string_view(line).substr(colon + 1)));
    }
}

} // namespace

std::string RecordedRequest::Header(std::string_view name) const
{
    for (const auto& [n, v] : headers) {
        if (SameName(n, name))
            return v;
    }
    return {};
}

bool RecordedRequest::HasHeader(std::string_view name) const
{
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& h) { return SameName(h.first, name); });
}

std::vector<std::string> RecordedRequest::HeaderNames() const
{
    std::vector<std::string> names;
    for (const auto& h : headers)
        names.push_back(h.first);
    return names;
}

LocalHttpServer::LocalHttpServer()
{
    m_server.set_logger([this](const httplib::Request& req, const httplib::Response&) {
        RecordedRequest r;
        r.method = req.method;
        r.target = req.target;
        r.version = req.version;
        for (const auto& [name, value] : req.headers) {
            // cpp-httplib adds these itself; they did not come from the client
            if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
                name == "LOCAL_PORT")
                continue;
            r.headers.emplace_back(name, value);
        }
        r.body = req.body;
        r.remotePort = req.remote_port;
        std::lock_guard lock(m_lock);
        m_requests.push_back(std::move(r));
    });
}

LocalHttpServer::~LocalHttpServer()
{
    Stop();
}

void LocalHttpServer::Start()
{
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    // the socket listens from bind on, so connections wait in its queue; still, be running
    for (int i = 0; i < 500 && !m_server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void LocalHttpServer::Stop()
{
    if (m_thread.joinable()) {
        m_server.stop();
        m_thread.join();
    }
}

QString LocalHttpServer::Url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port) + path;
}

std::vector<RecordedRequest> LocalHttpServer::Requests() const
{
    std::lock_guard lock(m_lock);
    return m_requests;
}

bool RawConnection::Send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool RawConnection::Reply(int status, const std::vector<std::string>& headerLines, std::string_view body)
{
    std::string head = "HTTP/1.1 " + std::to_string(status) + " Status\r\n";
    for (const std::string& line : headerLines)
        head += line + "\r\n";
    head += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    return Send(head) && Send(body);
}

bool RawConnection::Stall(std::chrono::milliseconds time)
{
    std::unique_lock lock(m_server.m_lock);
    return !m_server.m_stopped.wait_for(lock, time, [this] { return m_server.m_stopping.load(); });
}

RawHttpServer::RawHttpServer(Handler handler) : m_handler(std::move(handler))
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 64) != 0)
        return;
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

RawHttpServer::~RawHttpServer()
{
    Stop();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

void RawHttpServer::Stop()
{
    {
        std::lock_guard lock(m_lock);
        if (m_stopping)
            return;
        m_stopping = true;
        for (int fd : m_openFds)
            ::shutdown(fd, SHUT_RDWR);
    }
    m_stopped.notify_all();
    if (m_listenFd >= 0)
        ::shutdown(m_listenFd, SHUT_RDWR);
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(m_lock);
        connections.swap(m_connections);
    }
    for (std::thread& t : connections)
        t.join();
}

QString RawHttpServer::Url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port) + path;
}

std::vector<RecordedRequest> RawHttpServer::Requests() const
{
    std::lock_guard lock(m_lock);
    return m_requests;
}

void RawHttpServer::AcceptLoop()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lock(m_lock);
        if (fd < 0 || m_stopping) {
            if (fd >= 0)
                ::close(fd);
            return;
        }
        m_openFds.push_back(fd);
        const size_t index = m_requests.size();
        m_requests.emplace_back();
        m_connections.emplace_back([this, fd, index] { Serve(fd, index); });
    }
}

void RawHttpServer::Serve(int fd, size_t index)
{
    RecordedRequest request;
    sockaddr_in peer{};
    socklen_t peerLen = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) == 0)
        request.remotePort = ntohs(peer.sin_port);
    std::string data;
    char buffer[16384];
    size_t headEnd = std::string::npos;
    while (headEnd == std::string::npos) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        data.append(buffer, static_cast<size_t>(n));
        headEnd = data.find("\r\n\r\n");
    }
    bool complete = false;
    if (headEnd != std::string::npos) {
        request.head = data.substr(0, headEnd + 4);
        ParseHead(request);
        const std::string lengthText = request.Header("Content-Length");
        const size_t length = std::strtoul(lengthText.c_str(), nullptr, 10);
        request.body = data.substr(headEnd + 4);
        while (request.body.size() < length) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.body.append(buffer, static_cast<size_t>(n));
        }
        complete = request.body.size() >= length;
    }
    {
        std::lock_guard lock(m_lock);
        m_requests[index] = request;
    }
    if (complete) {
        RawConnection connection(fd, *this);
        try {
            m_handler(request, connection);
        } catch (...) {
        }
        // Wait (briefly) for the client to close its side: tests learn when the client was done.
        ::shutdown(fd, SHUT_WR);
        pollfd p{fd, POLLIN, 0};
        for (int waited = 0; waited < 5000 && !m_stopping; waited += 50) {
            if (::poll(&p, 1, 50) > 0) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
            }
        }
        std::lock_guard lock(m_lock);
        m_requests[index].closedAt = std::chrono::steady_clock::now();
    }
    std::lock_guard lock(m_lock);
    m_openFds.erase(std::remove(m_openFds.begin(), m_openFds.end(), fd), m_openFds.end());
    ::close(fd);
}
