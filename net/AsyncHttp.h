#pragma once

#include <functional>
#include <memory>

#include <QByteArray>
#include <QString>
#include <QStringList>

class QObject;

// Reply bodies beyond these (after inflating) make the exchange fail.
inline constexpr qint64 HttpTextBodyCap = 32 * 1024 * 1024;
inline constexpr qint64 HttpFileBodyCap = 8 * 1024 * 1024;

// One HTTP client per request, over a libcurl easy handle. The blocking operations never raise:
// a failed exchange gives false (or empty text from HttpFetch).
class TAsyncHttp
{
public:
    using CookieHook = std::function<void(TAsyncHttp* sender, const QString& value, bool& accept)>;
    using HeaderHook = std::function<void(TAsyncHttp* sender, const QString& method, QStringList& lines)>;

    explicit TAsyncHttp(QObject* owner = nullptr);
    ~TAsyncHttp();
    TAsyncHttp(const TAsyncHttp&) = delete;
    TAsyncHttp& operator=(const TAsyncHttp&) = delete;

    QString URL;
    QString Cookie;
    QString Reference;
    QString Agent = QStringLiteral("Mozilla/4.0 (compatible; ICS)");
    QString Accept = QStringLiteral("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
    QString AcceptLanguage;
    QString Connection;
    QString RequestVer = QStringLiteral("1.1");
    QString ContentTypePost = QStringLiteral("application/x-www-form-urlencoded");
    int Timeout = 30;  // seconds without a byte either way
    bool FollowRelocation = true;
    int LocationChangeMaxCount = 5;
    CookieHook OnCookie;          // defaults to HandleSetCookie
    HeaderHook OnBeforeHeaderSend;

    QString Location() const;     // absolute target of the last redirect followed, fragment included
    QString ContentType() const;  // lower-cased Content-Type of the reply
    int StatusCode() const;       // 0 when no reply arrived

    void SetPostData(const QByteArray& body);
    bool Get();
    bool Post();
    bool GetToFile(const QString& path);
    // The component's own blocking GET: no PrepareCookies, body discarded, Set-Cookie still hooked.
    bool PlainGet();

    QString ResponseText() const;     // reply body decoded as 8-bit text
    QByteArray ResponseBytes() const;

    void PrepareCookies();
    void HandleSetCookie(TAsyncHttp* sender, const QString& value, bool& accept);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

std::unique_ptr<TAsyncHttp> CreateHttp(const QString& url);
// GET when body is empty, else POST of body as 8-bit text; UTF-8 decoding when the content type
// contains "utf". Empty text when the exchange failed.
QString HttpFetch(const QString& url, const QString& body);

// Once at start-up, before any thread is started.
void HttpGlobalInit();
void HttpGlobalCleanup();
// Makes every waiting and every later transfer fail at once (program shutdown).
void HttpAbortAll();
bool HttpAborting();
void HttpResetAbort();  // tests only: requests work again after HttpAbortAll

// Test seam: requests for host:port are connected to 127.0.0.1:toPort while keeping their URL and
// Host header. Only tests and tools set it; the program never does.
void HttpSetHostMapping(const QString& host, int port, int toPort);
void HttpClearHostMappings();
