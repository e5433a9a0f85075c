#include "service/StopSignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace qm::service {

namespace {

int g_signalFds[2] = {-1, -1};
volatile std::sig_atomic_t g_stopRequested = 0;

constexpr char kStopByte = 'T';
constexpr char kReloadByte = 'H';

void onStopSignal(int)
{
    g_stopRequested = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalFds[0], &kStopByte, 1);
}

void onReloadSignal(int)
{
    [[maybe_unused]] ssize_t n = ::write(g_signalFds[0], &kReloadByte, 1);
}

void install(int signal, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

} // namespace

StopSignals::StopSignals(std::function<void()> onStop, std::function<void()> onReload)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds) != 0)
        return;
    m_notifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read);
    QObject::connect(m_notifier, &QSocketNotifier::activated,
                     [onStop = std::move(onStop), onReload] {
                         char byte = 0;
                         if (::read(g_signalFds[1], &byte, 1) != 1)
                             return;
                         if (byte == kReloadByte) {
                             if (onReload)
                                 onReload();
                         } else {
                             onStop();
                         }
                     });
    install(SIGTERM, onStopSignal);
    install(SIGINT, onStopSignal);
    if (onReload) {
        m_handlesReload = true;
        install(SIGHUP, onReloadSignal);
    }
}

StopSignals::~StopSignals()
{
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    if (m_handlesReload)
        std::signal(SIGHUP, SIG_DFL);
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
