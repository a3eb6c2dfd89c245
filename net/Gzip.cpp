#include "Gzip.h"

#include <algorithm>

namespace {

constexpr size_t OutChunk = 64 * 1024;

} // namespace

void GzipInflater::StreamDeleter::operator()(z_stream* z) const
{
    inflateEnd(z);
    delete z;
}

GzipInflater::GzipInflater(Sink sink) : m_sink(std::move(sink)), m_out(OutChunk)
{
    auto* z = new z_stream{};
    // 32 + MAX_WBITS: accept a gzip or a zlib header, which also covers "deflate" as servers send it
    if (inflateInit2(z, 32 + MAX_WBITS) != Z_OK) {
        delete z;
        m_failed = true;
        return;
    }
    m_stream.reset(z);
}

GzipInflater::~GzipInflater() = default;

bool GzipInflater::Feed(const char* data, size_t size)
{
    if (m_failed)
        return false;
    z_stream* z = m_stream.get();
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    while (size > 0 && !m_trailing) {
        const auto piece = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        z->next_in = const_cast<unsigned char*>(in);
        z->avail_in = piece;
        bool outFull = false;
        while (z->avail_in > 0 || outFull) {
            if (m_memberEnded) {
                if (z->avail_in == 0)
                    break;
                // another member follows only if it starts with the gzip magic byte
                if (*z->next_in != 0x1f) {
                    m_trailing = true;
                    return true;
                }
                inflateReset(z);
                m_memberEnded = false;
            }
            m_started = true;
            z->next_out = m_out.data();
            z->avail_out = static_cast<uInt>(m_out.size());
            const int rc = inflate(z, Z_NO_FLUSH);
            if (rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR) {
                m_failed = true;
                return false;
            }
            const size_t produced = m_out.size() - z->avail_out;
            if (produced > 0 && !m_sink(reinterpret_cast<const char*>(m_out.data()), produced)) {
                m_failed = true;
                return false;
            }
            outFull = z->avail_out == 0;
            if (rc == Z_STREAM_END) {
                m_memberEnded = true;
                outFull = false;
            } else if (rc == Z_BUF_ERROR) {
                break; // no progress possible without more input
            }
        }
        in += piece;
        size -= piece;
    }
    return true;
}

bool GzipInflater::Complete() const
{
    return !m_failed && (!m_started || m_memberEnded);
}
