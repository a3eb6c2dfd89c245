#include "CurlWait.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <mutex>
#include <set>

#include <QCoreApplication>
#include <QThread>

#include "CurlEventDriver.h"
#include "CurlHandles.h"

namespace {

std::atomic<bool> s_aborting{false};

// Private multi handles of blocking waits on other threads, so that an abort can wake them.
std::mutex s_blockingLock;
std::set<CURLM*> s_blocking;

bool OnApplicationThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

CURLcode RunBlocking(CURL* easy, TransferWatch& watch)
{
    CurlMulti multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), easy) != CURLM_OK)
        return CURLE_OUT_OF_MEMORY;
    {
        std::lock_guard lock(s_blockingLock);
        s_blocking.insert(multi.get());
    }
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_RECV_ERROR;
            break;
        }
        int queued = 0;
        bool done = false;
        while (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
                result = msg->data.result;
                done = true;
            }
        }
        if (done)
            break;
        if (s_aborting) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        const long remaining = watch.RemainingMs();
        if (remaining <= 0) {
            result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        long wait = -1;
        curl_multi_timeout(multi.get(), &wait);
        if (wait < 0 || wait > remaining)
            wait = remaining;
        wait = std::min(wait, 1000L);
        curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(wait), nullptr);
    }
    {
        std::lock_guard lock(s_blockingLock);
        s_blocking.erase(multi.get());
    }
    curl_multi_remove_handle(multi.get(), easy);
    return result;
}

} // namespace

TransferWatch::TransferWatch(int timeoutSeconds)
    : m_limit(std::chrono::seconds(std::max(timeoutSeconds, 0))), m_unlimited(timeoutSeconds <= 0),
      m_last(Clock::now())
{
}

void TransferWatch::Restart()
{
    m_last = Clock::now();
    m_downloaded = -1;
    m_uploaded = -1;
}

void TransferWatch::Touch()
{
    m_last = Clock::now();
}

void TransferWatch::Progress(curl_off_t downloaded, curl_off_t uploaded)
{
    if (downloaded != m_downloaded || uploaded != m_uploaded) {
        if (m_downloaded >= 0 && (downloaded > m_downloaded || uploaded > m_uploaded))
            m_last = Clock::now();
        m_downloaded = downloaded;
        m_uploaded = uploaded;
    }
}

long TransferWatch::RemainingMs() const
{
    if (m_unlimited)
        return std::numeric_limits<int>::max();
    const auto left = m_limit - (Clock::now() - m_last);
    return static_cast<long>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

int ProgressVerdict(TransferWatch& watch, curl_off_t downloaded, curl_off_t uploaded)
{
    watch.Progress(downloaded, uploaded);
    return s_aborting || watch.Expired() ? 1 : 0;
}

CURLcode RunTransfer(CURL* easy, TransferWatch& watch)
{
    if (s_aborting)
        return CURLE_ABORTED_BY_CALLBACK;
    if (OnApplicationThread())
        return CurlEventDriver::Instance()->Run(easy, watch);
    return RunBlocking(easy, watch);
}

void AbortAllTransfers()
{
    s_aborting = true;
    {
        std::lock_guard lock(s_blockingLock);
        for (CURLM* multi : s_blocking)
            curl_multi_wakeup(multi);
    }
    if (OnApplicationThread())
        CurlEventDriver::AbortAll();
    else if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [] { CurlEventDriver::AbortAll(); }, Qt::QueuedConnection);
}

void ResetAbortTransfers()
{
    s_aborting = false;
}

bool TransfersAborting()
{
    return s_aborting;
}

void ReleaseTransferDriver()
{
    if (OnApplicationThread())
        CurlEventDriver::Release();
}
