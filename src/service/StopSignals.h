#pragma once

#include <functional>

class QSocketNotifier;

namespace qm::service {

// SIGTERM and SIGINT arrive as an ordinary event through a socket pair, so the stop runs
// outside the signal handler (log line, clean-up); stopRequested() turns true at once, for a
// cycle that is running and should end before its next message. Given onReload, SIGHUP arrives
// the same way (the service manager's reload); without it SIGHUP keeps its default. While an
// instance lives its handlers are installed; the default ones come back when it goes.
class StopSignals
{
public:
    explicit StopSignals(std::function<void()> onStop, std::function<void()> onReload = {});
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    static bool stopRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
    bool m_handlesReload = false;
};

} // namespace qm::service
