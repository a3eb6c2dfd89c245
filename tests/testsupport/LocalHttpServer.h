#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <QString>

#include <httplib.h>

// One request as a test server received it.
struct RecordedRequest
{
    std::string method;
    std::string target;                                       // path and query as sent
    std::string version;                                      // "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> headers; // in order; names as sent (raw server)
    std::string head; // the raw request line and header lines, blank line included (raw server)
    std::string body;
    int remotePort = 0; // tells connections apart
    // When the client closed its side after the reply (raw server only; epoch when it did not).
    std::chrono::steady_clock::time_point closedAt{};

    std::string Header(std::string_view name) const; // first one, name without regard to case
    bool HasHeader(std::string_view name) const;
    std::vector<std::string> HeaderNames() const;
};

// A cpp-httplib server on 127.0.0.1, an ephemeral port, in a background thread. Add routes through
// Server() before Start(); every request is recorded (headers as cpp-httplib parsed them).
class LocalHttpServer
{
public:
    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    httplib::Server& Server() { return m_server; }
    void Start(); // returns once the server accepts connections
    void Stop();
    int Port() const { return m_port; }
    QString Url(const QString& path) const; // "http://127.0.0.1:<port>" + path
    std::vector<RecordedRequest> Requests() const;

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_lock;
    std::vector<RecordedRequest> m_requests;
};

class RawHttpServer;

// The server side of one connection of a RawHttpServer, handed to the test's handler.
class RawConnection
{
public:
    bool Send(std::string_view bytes);
    // A whole reply: status line, the given header lines, Content-Length, blank line, body.
    bool Reply(int status, const std::vector<std::string>& headerLines, std::string_view body);
    // Waits the given time without a byte; returns early (false) when the server stops.
    bool Stall(std::chrono::milliseconds time);

private:
    friend class RawHttpServer;
    RawConnection(int fd, RawHttpServer& server) : m_fd(fd), m_server(server) {}
    int m_fd;
    RawHttpServer& m_server;
};

// A minimal HTTP/1.x server over plain sockets for what cpp-httplib cannot show or do: the exact
// request bytes, replies written byte by byte (cut bodies, broken gzip, stalls). Each connection
// carries one request; the connection is closed after the handler returns.
class RawHttpServer
{
public:
    using Handler = std::function<void(const RecordedRequest& request, RawConnection& connection)>;

    explicit RawHttpServer(Handler handler);
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    int Port() const { return m_port; }
    QString Url(const QString& path) const;
    // In order of arrival; a connection whose request is still being read shows an empty record.
    std::vector<RecordedRequest> Requests() const;
    void Stop();

private:
    friend class RawConnection;
    void AcceptLoop();
    void Serve(int fd, size_t index);

    Handler m_handler;
    int m_listenFd = -1;
    int m_port = 0;
    std::thread m_acceptThread;
    mutable std::mutex m_lock;
    std::condition_variable m_stopped;
    std::atomic<bool> m_stopping{false};
    std::vector<std::thread> m_connections;
    std::vector<int> m_openFds;
    std::vector<RecordedRequest> m_requests;
};
