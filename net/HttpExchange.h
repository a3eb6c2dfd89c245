#pragma once

#include <memory>

#include <QByteArray>
#include <QByteArrayList>

#include "CurlWait.h"

class FileSink;
class GzipInflater;

// What one request/reply round on the wire sees: the reply's status and headers as libcurl hands them over,
// and its body sent to a destination.
struct HttpHop
{
    enum class Body { Keep, Discard };

    HttpHop(TransferWatch& watch, qint64 cap, QByteArray* text, FileSink* file);
    ~HttpHop();
    HttpHop(const HttpHop&) = delete;
    HttpHop& operator=(const HttpHop&) = delete;

    bool IsRedirect() const; // a redirect status carrying a Location
    // Connects the callbacks to the handle; the hop must outlive the transfer.
    void Attach(CURL* easy);
    // True when the body arrived whole and within the cap, inflated cleanly where coded.
    bool BodyIntact() const;

    bool followRedirects = true;
    bool keepBody = true;

    int status = 0;
    QByteArray location;
    QByteArray contentType;
    QByteArray contentEncoding;
    QByteArrayList cookies; // every Set-Cookie value of every reply, in arrival order
    bool capExceeded = false;
    bool writeFailed = false;

private:
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    static int OnProgress(void* self, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                          curl_off_t ulnow);
    void Header(QByteArray line);
    bool Deliver(const char* data, size_t size);
    void Decide();

    TransferWatch& m_watch;
    qint64 m_cap;
    QByteArray* m_text;
    FileSink* m_file;
    bool m_decided = false;
    Body m_body = Body::Keep;
    qint64 m_received = 0;
    qint64 m_contentLength = -1;
    std::unique_ptr<GzipInflater> m_inflater;
};
