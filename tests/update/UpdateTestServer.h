#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

struct RecordedRequest
{
    std::string host; // Host header without the port
    std::string method;
    std::string target; // raw request target, query included
    std::string version;
    std::map<std::string, std::string> headers; // lower-case names, as the client sent them
};

// A real HTTP server on 127.0.0.1 playing the update server and the analytics collector (told apart
// by the Host header). The transport's host mapping sends both fixed hosts to it for its lifetime.
class UpdateTestServer
{
public:
    UpdateTestServer();
    ~UpdateTestServer();

    int Port() const { return m_port; }

    void SetVersionReply(int status, const std::string& body, const std::string& contentType = "text/plain");
    // The version request waits (until the server is destroyed) before answering.
    void SetVersionStall(bool stall);
    void SetHitReply(int status, const std::string& setCookie = {});

    std::vector<RecordedRequest> Requests(const std::string& path) const;
    // Polls without processing Qt events; true when count requests for path arrived in time.
    bool WaitForRequests(const std::string& path, size_t count, int timeoutMs) const;

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;

    mutable std::mutex m_lock;
    std::condition_variable m_released;
    bool m_release = false;
    std::vector<RecordedRequest> m_requests;
    int m_versionStatus = 404;
    std::string m_versionBody;
    std::string m_versionType = "text/plain";
    bool m_stall = false;
    int m_hitStatus = 200;
    std::string m_hitCookie;
};

// A local port with nothing listening on it.
int ClosedPort();
