#include "CurlEventDriver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QSocketNotifier>

#include "CurlWait.h"

namespace {

QPointer<CurlEventDriver> s_driver;

} // namespace

void CurlEventDriver::NotifierDeleter::operator()(QSocketNotifier* n) const
{
    // curl may drop a socket from inside that socket's own activation: delete later
    n->setEnabled(false);
    n->deleteLater();
}

CurlEventDriver* CurlEventDriver::Instance()
{
    if (!s_driver)
        s_driver = new CurlEventDriver(QCoreApplication::instance());
    return s_driver;
}

void CurlEventDriver::AbortAll()
{
    if (!s_driver)
        return;
    std::vector<CURL*> all;
    for (const auto& [easy, waiting] : s_driver->m_waiting)
        all.push_back(easy);
    for (CURL* easy : all)
        s_driver->Finish(easy, CURLE_ABORTED_BY_CALLBACK);
}

void CurlEventDriver::Release()
{
    delete s_driver.data();
}

CurlEventDriver::CurlEventDriver(QObject* parent) : QObject(parent), m_multi(curl_multi_init())
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { Act(CURL_SOCKET_TIMEOUT, 0); });
    curl_multi_setopt(m_multi.get(), CURLMOPT_SOCKETFUNCTION, &CurlEventDriver::SocketCallback);
    curl_multi_setopt(m_multi.get(), CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi.get(), CURLMOPT_TIMERFUNCTION, &CurlEventDriver::TimerCallback);
    curl_multi_setopt(m_multi.get(), CURLMOPT_TIMERDATA, this);
}

CurlEventDriver::~CurlEventDriver()
{
    AbortAll();
    for (auto& [easy, waiting] : m_waiting)
        curl_multi_remove_handle(m_multi.get(), easy);
    m_waiting.clear();
    m_sockets.clear();
    m_multi.reset();
}

int CurlEventDriver::SocketCallback(CURL*, curl_socket_t s, int what, void* self, void*)
{
    static_cast<CurlEventDriver*>(self)->WatchSocket(s, what);
    return 0;
}

int CurlEventDriver::TimerCallback(CURLM*, long timeoutMs, void* self)
{
    auto* driver = static_cast<CurlEventDriver*>(self);
    // never act from inside libcurl: the timer fires from the event loop
    if (timeoutMs < 0)
        driver->m_timer.stop();
    else
        driver->m_timer.start(static_cast<int>(timeoutMs));
    return 0;
}

void CurlEventDriver::WatchSocket(curl_socket_t s, int what)
{
    if (what == CURL_POLL_REMOVE) {
        m_sockets.erase(s);
        return;
    }
    Socket& socket = m_sockets[s];
    const bool wantRead = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool wantWrite = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    if (wantRead && !socket.read) {
        socket.read.reset(new QSocketNotifier(s, QSocketNotifier::Read, this));
        connect(socket.read.get(), &QSocketNotifier::activated, this, [this, s] { Act(s, CURL_CSELECT_IN); });
    }
    if (wantWrite && !socket.write) {
        socket.write.reset(new QSocketNotifier(s, QSocketNotifier::Write, this));
        connect(socket.write.get(), &QSocketNotifier::activated, this,
                [this, s] { Act(s, CURL_CSELECT_OUT); });
    }
    if (socket.read)
        socket.read->setEnabled(wantRead);
    if (socket.write)
        socket.write->setEnabled(wantWrite);
}

void CurlEventDriver::Act(curl_socket_t s, int events)
{
    int running = 0;
    curl_multi_socket_action(m_multi.get(), s, events, &running);
    CollectDone();
}

void CurlEventDriver::CollectDone()
{
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(m_multi.get(), &queued)) {
        if (msg->msg != CURLMSG_DONE)
            continue;
        CURL* easy = msg->easy_handle;
        const CURLcode result = msg->data.result;
        Finish(easy, result); // msg is invalid from here on
    }
}

void CurlEventDriver::Finish(CURL* easy, CURLcode result)
{
    const auto it = m_waiting.find(easy);
    if (it == m_waiting.end())
        return;
    Waiting* waiting = it->second;
    m_waiting.erase(it);
    curl_multi_remove_handle(m_multi.get(), easy);
    waiting->done = true;
    waiting->result = result;
    waiting->loop->quit();
}

CURLcode CurlEventDriver::Run(CURL* easy, TransferWatch& watch)
{
    if (!m_multi)
        return CURLE_OUT_OF_MEMORY;
    QEventLoop loop;
    Waiting waiting;
    waiting.loop = &loop;
    if (curl_multi_add_handle(m_multi.get(), easy) != CURLM_OK)
        return CURLE_OUT_OF_MEMORY;
    m_waiting[easy] = &waiting;

    QTimer idle;
    idle.setSingleShot(true);
    idle.setTimerType(Qt::PreciseTimer);
    connect(&idle, &QTimer::timeout, this, [&] {
        const long remaining = watch.RemainingMs();
        if (remaining <= 0)
            Finish(easy, CURLE_OPERATION_TIMEDOUT);
        else
            idle.start(static_cast<int>(remaining));
    });
    idle.start(static_cast<int>(watch.RemainingMs()));

    // The loop's return value says nothing: after the application is told to exit it returns at once. Only
    // the transfer's own state counts; a transfer still running is given up.
    loop.exec();
    if (!waiting.done)
        Finish(easy, CURLE_ABORTED_BY_CALLBACK);
    return waiting.result;
}
