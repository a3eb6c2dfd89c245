#include "AsyncHttp.h"

#include <map>
#include <mutex>
#include <utility>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "CodePage.h"
#include "CurlHandles.h"
#include "CurlWait.h"
#include "FileSink.h"
#include "HttpExchange.h"
#include "UrlResolve.h"

using namespace Qt::StringLiterals;

namespace {

std::once_flag s_initOnce;
bool s_initialised = false;

std::mutex s_mappingLock;
std::map<std::pair<QByteArray, int>, int> s_mappings;

QByteArray ConnectToLine(const std::pair<QByteArray, int>& from, int toPort)
{
    return from.first + ':' + QByteArray::number(from.second) + ":127.0.0.1:" + QByteArray::number(toPort);
}

CurlSlist HostMappingList()
{
    CurlSlist list;
    std::lock_guard lock(s_mappingLock);
    for (const auto& [from, toPort] : s_mappings)
        list.Append(ConnectToLine(from, toPort));
    return list;
}

bool IsHttpScheme(const QByteArray& url)
{
    const QByteArray scheme = UrlScheme(url);
    return scheme == "http" || scheme == "https";
}

} // namespace

namespace {

enum class Method { Get, Post };

// Everything one exchange needs from its client, fixed when it starts.
struct ExchangeSetup
{
    Method method = Method::Get;
    bool keepBody = true;
    qint64 cap = HttpTextBodyCap;
};

} // namespace

struct TAsyncHttp::Impl
{
    enum class Reply { None, Text, File };

    CurlEasy easy{curl_easy_init()};
    Reply reply = Reply::None;
    QByteArray text;
    std::unique_ptr<FileSink> file;
    QByteArray postData;
    QString location;
    QString contentType;
    int status = 0;

    void ReleaseReply()
    {
        if (file)
            file->Close();
        file.reset();
        text.clear();
        reply = Reply::None;
    }
    void StartTextReply()
    {
        if (reply == Reply::Text) {
            text.resize(0); // keeps the allocation for the next reply
        } else {
            ReleaseReply();
            reply = Reply::Text;
        }
    }
    bool Run(TAsyncHttp& http, const ExchangeSetup& setup);
};

TAsyncHttp::TAsyncHttp(QObject*) : m_impl(std::make_unique<Impl>())
{
    OnCookie = [this](TAsyncHttp* sender, const QString& value, bool& accept) {
        HandleSetCookie(sender, value, accept);
    };
}

TAsyncHttp::~TAsyncHttp()
{
    m_impl->ReleaseReply();
}

QString TAsyncHttp::Location() const
{
    return m_impl->location;
}

QString TAsyncHttp::ContentType() const
{
    return m_impl->contentType;
}

int TAsyncHttp::StatusCode() const
{
    return m_impl->status;
}

void TAsyncHttp::SetPostData(const QByteArray& body)
{
    m_impl->postData = body;
}

QString TAsyncHttp::ResponseText() const
{
    return m_impl->reply == Impl::Reply::Text ? FromAnsi(m_impl->text) : QString();
}

QByteArray TAsyncHttp::ResponseBytes() const
{
    return m_impl->reply == Impl::Reply::Text ? m_impl->text : QByteArray();
}

namespace {

void AddHeader(QStringList& lines, const QString& name, const QString& value)
{
    if (!value.isEmpty())
        lines.append(name + u": "_s + value);
}

// The request header lines of one hop, as the client's properties and its hook make them.
CurlSlist RequestHeaders(TAsyncHttp& http, Method method)
{
    QStringList lines;
    AddHeader(lines, u"Accept"_s, http.Accept);
    AddHeader(lines, u"Referer"_s, http.Reference);
    AddHeader(lines, u"Accept-Language"_s, http.AcceptLanguage);
    if (method == Method::Post)
        AddHeader(lines, u"Content-Type"_s, http.ContentTypePost);
    lines.append(u"Accept-Encoding: gzip;q=1.0, identity;q=0.5"_s);
    AddHeader(lines, u"User-Agent"_s, http.Agent);
    AddHeader(lines, u"Connection"_s, http.Connection);
    AddHeader(lines, u"Cookie"_s, http.Cookie);
    if (http.OnBeforeHeaderSend)
        http.OnBeforeHeaderSend(&http, method == Method::Post ? u"POST"_s : u"GET"_s, lines);

    CurlSlist headers;
    for (const QString& line : std::as_const(lines)) {
        if (!line.isEmpty())
            headers.Append(ToAnsi(line));
    }
    // A name with nothing after the colon only stops libcurl from adding its own header.
    headers.Append("Accept:");
    headers.Append("Expect:");
    headers.Append("Content-Type:");
    return headers;
}

// Every option of one hop; the lists and the body must outlive the transfer.
void ConfigureHop(CURL* easy, const TAsyncHttp& http, Method method, const QByteArray& wireUrl,
                  const CurlSlist& headers, const CurlSlist& connectTo, const QByteArray& postData)
{
    curl_easy_reset(easy);
    curl_easy_setopt(easy, CURLOPT_URL, wireUrl.constData());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROXY, ""); // the environment's proxies are not ours to use
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION,
                     http.RequestVer == u"1.0"_s ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    if (connectTo.get())
        curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo.get());
    if (method == Method::Post) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(postData.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, postData.constData());
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
}

} // namespace

// One exchange: the hops of its redirects, each a fresh request on the same handle.
bool TAsyncHttp::Impl::Run(TAsyncHttp& http, const ExchangeSetup& setup)
{
    location = http.URL;
    contentType.clear();
    status = 0;
    if (!easy || TransfersAborting())
        return false;

    Method method = setup.method;
    QByteArray url = ToAnsi(http.URL);
    int redirects = 0;
    TransferWatch watch(http.Timeout);
    for (;;) {
        const CurlSlist headers = RequestHeaders(http, method);
        const CurlSlist connectTo = HostMappingList();
        const QByteArray wireUrl = WireUrl(url);
        ConfigureHop(easy.get(), http, method, wireUrl, headers, connectTo, postData);

        HttpHop hop(watch, setup.cap, reply == Reply::Text ? &text : nullptr, file.get());
        hop.followRedirects = http.FollowRelocation;
        hop.keepBody = setup.keepBody;
        hop.Attach(easy.get());
        watch.Restart();
        const CURLcode result = RunTransfer(easy.get(), watch);
        long replyStatus = 0;
        curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &replyStatus);
        curl_easy_reset(easy.get()); // nothing in the handle may point at this hop any more

        // Hooks run here, outside libcurl's callbacks, so they may do anything (even wait).
        for (const QByteArray& value : std::as_const(hop.cookies)) {
            bool accept = true;
            if (http.OnCookie)
                http.OnCookie(&http, FromAnsi(value), accept);
        }
        status = static_cast<int>(replyStatus);
        if (result != CURLE_OK || !hop.BodyIntact())
            return false;

        if (http.FollowRelocation && hop.IsRedirect()) {
            if (redirects >= http.LocationChangeMaxCount)
                return false;
            const QByteArray target = ResolveReference(url, hop.location);
            if (!IsHttpScheme(target))
                return false;
            ++redirects;
            url = target;
            location = FromAnsi(target);
            if (method == Method::Post && (status == 301 || status == 302 || status == 303))
                method = Method::Get;
            continue;
        }
        contentType = FromAnsi(hop.contentType).toLower();
        return status > 0 && (status < 400 || status == 401 || status == 407);
    }
}

bool TAsyncHttp::Get()
{
    try {
        PrepareCookies();
        m_impl->StartTextReply();
        return m_impl->Run(*this, ExchangeSetup{Method::Get, true, HttpTextBodyCap});
    } catch (...) {
        return false;
    }
}

bool TAsyncHttp::Post()
{
    try {
        PrepareCookies();
        m_impl->StartTextReply();
        return m_impl->Run(*this, ExchangeSetup{Method::Post, true, HttpTextBodyCap});
    } catch (...) {
        return false;
    }
}

bool TAsyncHttp::PlainGet()
{
    try {
        m_impl->ReleaseReply();
        return m_impl->Run(*this, ExchangeSetup{Method::Get, false, HttpTextBodyCap});
    } catch (...) {
        return false;
    }
}

bool TAsyncHttp::GetToFile(const QString& path)
{
    try {
        // A bare file name names no folder. Checked before anything is deleted, so that a failing call never
        // removes a file.
        const qsizetype slash = path.lastIndexOf(u'/');
        if (slash < 0)
            return false;
        const QString folder = slash == 0 ? u"/"_s : path.left(slash);
        m_impl->ReleaseReply();
        const QFileInfo info(path);
        if (info.exists() || info.isSymLink()) {
            if (!QFile::remove(path))
                return false;
        }
        if (!QDir().mkpath(folder))
            return false;
        auto file = std::make_unique<FileSink>(path);
        if (!file->Open())
            return false;
        m_impl->file = std::move(file);
        m_impl->reply = Impl::Reply::File;
        const bool ok = m_impl->Run(*this, ExchangeSetup{Method::Get, true, HttpFileBodyCap});
        const bool closed = m_impl->file->Close();
        return ok && closed;
    } catch (...) {
        return false;
    }
}

std::unique_ptr<TAsyncHttp> CreateHttp(const QString& url)
{
    auto http = std::make_unique<TAsyncHttp>();
    http->URL = url;
    return http;
}

QString HttpFetch(const QString& url, const QString& body)
{
    QString result;
    const std::unique_ptr<TAsyncHttp> http = CreateHttp(url);
    http->SetPostData(ToAnsi(body));
    const bool ok = body.isEmpty() ? http->Get() : http->Post();
    if (ok) {
        if (http->ContentType().contains(u"utf"_s))
            result = QString::fromUtf8(http->ResponseBytes());
        else
            result = http->ResponseText();
    }
    return result;
}

void HttpGlobalInit()
{
    std::call_once(s_initOnce, [] { s_initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
}

void HttpGlobalCleanup()
{
    ReleaseTransferDriver();
    if (std::exchange(s_initialised, false))
        curl_global_cleanup();
}

void HttpAbortAll()
{
    AbortAllTransfers();
}

bool HttpAborting()
{
    return TransfersAborting();
}

void HttpResetAbort()
{
    ResetAbortTransfers();
}

void HttpSetHostMapping(const QString& host, int port, int toPort)
{
    std::lock_guard lock(s_mappingLock);
    s_mappings[{host.toLower().toUtf8(), port}] = toPort;
}

void HttpClearHostMappings()
{
    std::lock_guard lock(s_mappingLock);
    s_mappings.clear();
}
