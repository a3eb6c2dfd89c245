#pragma once

#include <chrono>

#include <curl/curl.h>

// Inactivity watch of one transfer: it expires when no byte has moved either way for the limit.
class TransferWatch
{
public:
    using Clock = std::chrono::steady_clock;

    explicit TransferWatch(int timeoutSeconds);
    void Restart(); // a new hop starts: its connect phase counts as silence
    void Touch();   // a byte arrived
    void Progress(curl_off_t downloaded, curl_off_t uploaded);
    bool Expired() const { return RemainingMs() <= 0; }
    long RemainingMs() const; // a large value when there is no limit

private:
    Clock::duration m_limit;
    bool m_unlimited;
    Clock::time_point m_last;
    curl_off_t m_downloaded = -1;
    curl_off_t m_uploaded = -1;
};

// Runs one configured easy handle to its end. On the thread of the QCoreApplication the transfer is driven
// by Qt's event loop, so every event loop (nested ones included) keeps it moving while the caller waits in a
// local loop; elsewhere the call simply blocks. The handle's progress callback must return ProgressVerdict.
CURLcode RunTransfer(CURL* easy, TransferWatch& watch);

// Non-zero when the transfer must stop: the program aborts every transfer, or the watch expired.
int ProgressVerdict(TransferWatch& watch, curl_off_t downloaded, curl_off_t uploaded);

void AbortAllTransfers();   // also wakes every waiting call
void ResetAbortTransfers(); // tests only
bool TransfersAborting();
// Releases the event-loop driver (on the application's thread) before libcurl is cleaned up.
void ReleaseTransferDriver();
