#include "UpdateTestServer.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include <QString>
#include <QTcpServer>

#include <httplib.h>

#include "net/AsyncHttp.h"

namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

bool IsServerPseudoHeader(const std::string& name)
{
    // cpp-httplib adds these itself; the client never sent them.
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT";
}

} // namespace

UpdateTestServer::UpdateTestServer() : m_server(std::make_unique<httplib::Server>())
{
    m_server->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        RecordedRequest rec;
        rec.method = req.method;
        rec.target = req.target;
        rec.version = req.version;
        for (const auto& [name, value] : req.headers) {
            if (!IsServerPseudoHeader(name))
                rec.headers[Lower(name)] = value;
        }
        rec.host = Lower(req.get_header_value("Host"));
        rec.host = rec.host.substr(0, rec.host.find(':'));
        std::unique_lock guard(m_lock);
        m_requests.push_back(rec);
        if (rec.host == QUILLBOX_UPDATE_HOST && req.path == "/quillbox.ver") {
            if (m_stall)
                m_released.wait_for(guard, std::chrono::seconds(60), [this] { return m_release; });
            res.status = m_versionStatus;
            res.set_content(m_versionBody, m_versionType.c_str());
        } else if (rec.host == QUILLBOX_GA_HOST && req.path == "/__utm.gif") {
            res.status = m_hitStatus;
            if (!m_hitCookie.empty())
                res.set_header("Set-Cookie", m_hitCookie);
            static const char gif[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04"
                                      "\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02"
                                      "D\x01\x00;";
            res.set_content(std::string(gif, sizeof gif - 1), "image/gif");
        } else {
            res.status = 404;
        }
    });
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        throw std::runtime_error("cannot bind the test server");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    HttpSetHostMapping(QStringLiteral(QUILLBOX_UPDATE_HOST), 80, m_port);
    HttpSetHostMapping(QStringLiteral(QUILLBOX_GA_HOST), 80, m_port);
}

UpdateTestServer::~UpdateTestServer()
{
    HttpClearHostMappings();
    {
        std::lock_guard guard(m_lock);
        m_release = true;
    }
    m_released.notify_all();
    m_server->stop();
    m_thread.join();
}

void UpdateTestServer::SetVersionReply(int status, const std::string& body, const std::string& contentType)
{
    std::lock_guard guard(m_lock);
    m_versionStatus = status;
    m_versionBody = body;
    m_versionType = contentType;
}

void UpdateTestServer::SetVersionStall(bool stall)
{
    std::lock_guard guard(m_lock);
    m_stall = stall;
}

void UpdateTestServer::SetHitReply(int status, const std::string& setCookie)
{
    std::lock_guard guard(m_lock);
    m_hitStatus = status;
    m_hitCookie = setCookie;
}

std::vector<RecordedRequest> UpdateTestServer::Requests(const std::string& path) const
{
    std::lock_guard guard(m_lock);
    std::vector<RecordedRequest> found;
    for (const RecordedRequest& r : m_requests) {
        if (r.target.substr(0, r.target.find('?')) == path)
            found.push_back(r);
    }
    return found;
}

bool UpdateTestServer::WaitForRequests(const std::string& path, size_t count, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Requests(path).size() < count) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

int ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}
