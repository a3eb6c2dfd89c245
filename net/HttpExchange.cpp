#include "HttpExchange.h"

#include <algorithm>

#include "FileSink.h"
#include "Gzip.h"

HttpHop::HttpHop(TransferWatch& watch, qint64 cap, QByteArray* text, FileSink* file)
    : m_watch(watch), m_cap(cap), m_text(text), m_file(file)
{
}

HttpHop::~HttpHop() = default;

void HttpHop::Attach(CURL* easy)
{
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HttpHop::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpHop::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &HttpHop::OnProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
}

bool HttpHop::IsRedirect() const
{
    const bool redirectStatus =
        status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    return redirectStatus && !location.isEmpty();
}

bool HttpHop::BodyIntact() const
{
    return !capExceeded && !writeFailed && (!m_inflater || m_inflater->Complete());
}

size_t HttpHop::OnHeader(char* data, size_t size, size_t count, void* self)
{
    auto* hop = static_cast<HttpHop*>(self);
    const size_t length = size * count;
    hop->m_watch.Touch();
    hop->Header(QByteArray(data, static_cast<qsizetype>(length)));
    return length;
}

void HttpHop::Header(QByteArray line)
{
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.startsWith("HTTP/")) {
        // a new reply begins (an interim 1xx one may come first): its own headers count
        const int space = line.indexOf(' ');
        status = space > 0 ? line.mid(space + 1, 3).toInt() : 0;
        location.clear();
        contentType.clear();
        contentEncoding.clear();
        m_contentLength = -1;
        m_decided = false;
        return;
    }
    const int colon = line.indexOf(':');
    if (colon <= 0)
        return;
    const QByteArray name = line.left(colon).trimmed().toLower();
    qsizetype start = colon + 1;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
        ++start;
    const QByteArray value = line.mid(start);
    if (name == "set-cookie")
        cookies.append(value);
    else if (name == "location")
        location = value.trimmed();
    else if (name == "content-type")
        contentType = value.trimmed();
    else if (name == "content-encoding")
        contentEncoding = value.trimmed().toLower();
    else if (name == "content-length")
        m_contentLength = value.trimmed().toLongLong();
}

void HttpHop::Decide()
{
    m_decided = true;
    // the body of a redirect we follow is nobody's reply: it is dropped
    m_body = keepBody && !(followRedirects && IsRedirect()) ? Body::Keep : Body::Discard;
    m_inflater.reset();
    if (m_body == Body::Keep &&
        (contentEncoding == "gzip" || contentEncoding == "x-gzip" || contentEncoding == "deflate")) {
        m_inflater = std::make_unique<GzipInflater>(
            [this](const char* data, size_t size) { return Deliver(data, size); });
    }
    // growing a large buffer piece by piece costs more than the transfer itself
    if (m_body == Body::Keep && !m_inflater && m_text && m_contentLength > 0)
        m_text->reserve(m_text->size() + std::min(m_contentLength, m_cap));
}

bool HttpHop::Deliver(const char* data, size_t size)
{
    // the cap holds on the plain size, so neither chunking nor compression can get around it
    if (m_received + static_cast<qint64>(size) > m_cap) {
        capExceeded = true;
        return false;
    }
    m_received += static_cast<qint64>(size);
    if (m_body == Body::Discard)
        return true;
    if (m_file) {
        if (!m_file->Write(data, size)) {
            writeFailed = true;
            return false;
        }
    } else if (m_text) {
        const qsizetype needed = m_text->size() + static_cast<qsizetype>(size);
        if (needed > m_text->capacity())
            m_text->reserve(std::max(needed, std::min<qsizetype>(2 * m_text->capacity(), m_cap)));
        m_text->append(data, static_cast<qsizetype>(size));
    }
    return true;
}

size_t HttpHop::OnBody(char* data, size_t size, size_t count, void* self)
{
    auto* hop = static_cast<HttpHop*>(self);
    const size_t length = size * count;
    hop->m_watch.Touch();
    if (!hop->m_decided)
        hop->Decide();
    const bool ok = hop->m_inflater ? hop->m_inflater->Feed(data, length) : hop->Deliver(data, length);
    return ok ? length : 0; // 0 ends the transfer with a write error
}

int HttpHop::OnProgress(void* self, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow)
{
    return ProgressVerdict(static_cast<HttpHop*>(self)->m_watch, dlnow, ulnow);
}
