#include "app/SignalPipe.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int g_fds[2] = {-1, -1};

extern "C" void OnSignal(int signal)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // Non-blocking: when the pipe is full, the program already knows it has to end.
    [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

TSignalPipe::TSignalPipe(std::function<void(int)> onSignal) : m_onSignal(std::move(onSignal))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_fds) != 0) {
        std::fprintf(stderr, "Quillbox: no signal handling: %s\n", std::strerror(errno));
        g_fds[0] = g_fds[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TSignalPipe::Drain);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : kSignals)
        ::sigaction(s, &action, nullptr);
}

TSignalPipe::~TSignalPipe()
{
    if (!m_notifier)
        return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int s : kSignals)
        ::sigaction(s, &action, nullptr);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}

void TSignalPipe::Drain()
{
    unsigned char buffer[64];
    int last = 0;
    ssize_t n;
    while ((n = ::read(g_fds[1], buffer, sizeof buffer)) > 0)
        last = buffer[n - 1];
    if (last != 0 && m_onSignal)
        m_onSignal(last);
}
