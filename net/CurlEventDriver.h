#pragma once

#include <map>
#include <memory>

#include <QObject>
#include <QTimer>

#include <curl/curl.h>

#include "CurlHandles.h"

class QEventLoop;
class QSocketNotifier;
class TransferWatch;

// One libcurl multi handle driven by the application thread's event loop: socket notifiers and a timer call
// curl_multi_socket_action, so any event loop that runs, a modal dialog's included, moves every transfer.
// Each waiting call spins its own local loop until its transfer has ended.
class CurlEventDriver : public QObject
{
public:
    static CurlEventDriver* Instance(); // created on first use, a child of the application
    static void AbortAll();
    static void Release();

    ~CurlEventDriver() override;
    CURLcode Run(CURL* easy, TransferWatch& watch);

private:
    struct Waiting
    {
        bool done = false;
        CURLcode result = CURLE_OK;
        QEventLoop* loop = nullptr;
    };
    struct NotifierDeleter
    {
        void operator()(QSocketNotifier* n) const;
    };
    using Notifier = std::unique_ptr<QSocketNotifier, NotifierDeleter>;
    struct Socket
    {
        Notifier read;
        Notifier write;
    };

    explicit CurlEventDriver(QObject* parent);
    static int SocketCallback(CURL* easy, curl_socket_t s, int what, void* self, void* socketp);
    static int TimerCallback(CURLM* multi, long timeoutMs, void* self);
    void WatchSocket(curl_socket_t s, int what);
    void Act(curl_socket_t s, int events);
    void CollectDone();
    void Finish(CURL* easy, CURLcode result);

    CurlMulti m_multi;
    QTimer m_timer;
    std::map<curl_socket_t, Socket> m_sockets;
    std::map<CURL*, Waiting*> m_waiting;
};
