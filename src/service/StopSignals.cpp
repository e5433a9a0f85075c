#include "service/StopSignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace qm::service {

namespace {

int g_signalFds[2] = {-1, -1};
volatile std::sig_atomic_t g_stopRequested = 0;

void onStopSignal(int)
{
    g_stopRequested = 1;
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalFds[0], &byte, 1);
}

} // namespace

StopSignals::StopSignals(std::function<void()> onStop)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds) != 0)
        return;
    m_notifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read);
    QObject::connect(m_notifier, &QSocketNotifier::activated, [onStop = std::move(onStop)] {
        char byte;
        [[maybe_unused]] ssize_t n = ::read(g_signalFds[1], &byte, 1);
        onStop();
    });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

StopSignals::~StopSignals()
{
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    delete m_notifier;
    for (int& fd : g_signalFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

bool StopSignals::stopRequested()
{
    return g_stopRequested != 0;
}

} // namespace qm::service
