#pragma once

#include <atomic>
#include <string>

#include <httplib.h>

namespace emu {

// What the handler on this thread may know about the connection it serves.
struct Connection
{
    std::string raw;   // the request's bytes exactly as received (header and body)
    bool drop = false; // set by a handler: close without sending anything
};

Connection* CurrentConnection();

// cpp-httplib parses headers into a sorted map; we read the socket ourselves so that the record
// keeps the header lines in the order the client sent them, and so that a reply can be withheld.
// Each connection serves one request ("Connection: close"), as no client of ours reuses one.
class RecordingServer : public httplib::Server
{
public:
    explicit RecordingServer(const std::atomic<bool>& stopping) : m_stopping(stopping) {}

private:
    bool process_and_close_socket(socket_t sock) override;
    const std::atomic<bool>& m_stopping;
};

} // namespace emu
