#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include <zlib.h>

// Inflates a gzip (or zlib) coded reply body as it arrives, handing the plain bytes to a sink. Concatenated
// gzip members are inflated one after another; bytes after the last member that do not start another one are
// ignored, as browsers do.
class GzipInflater
{
public:
    using Sink = std::function<bool(const char* data, size_t size)>;

    explicit GzipInflater(Sink sink);
    ~GzipInflater();
    GzipInflater(const GzipInflater&) = delete;
    GzipInflater& operator=(const GzipInflater&) = delete;

    // False on corrupt data or when the sink refuses a piece; nothing more is accepted then.
    bool Feed(const char* data, size_t size);
    // True when no byte was fed or the last member ended cleanly (a cut stream is incomplete).
    bool Complete() const;

private:
    struct StreamDeleter
    {
        void operator()(z_stream* z) const;
    };
    Sink m_sink;
    std::unique_ptr<z_stream, StreamDeleter> m_stream;
    std::vector<unsigned char> m_out;
    bool m_failed = false;
    bool m_started = false;
    bool m_memberEnded = false;
    bool m_trailing = false;
};
