#include "service/ForwardingTimer.h"

#include "service/RuntimeError.h"

#include <QFile>

namespace qm::service {

namespace {

// Clears the in-cycle flag however the cycle ends.
struct CycleFlag
{
    explicit CycleFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~CycleFlag() { m_flag = false; }
    bool& m_flag;
};

} // namespace

ForwardingTimer::ForwardingTimer(QString modeFilePath, TimerHooks hooks, QObject* parent)
    : QObject(parent), m_modeFilePath(std::move(modeFilePath)), m_hooks(std::move(hooks))
{
    connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
}

void ForwardingTimer::start(int tickMs)
{
    m_minuteCounter = 0;
    m_timer.start(tickMs);
}

void ForwardingTimer::stop()
{
    m_timer.stop();
}

bool ForwardingTimer::tick()
{
    // A timed cycle would have the timer switched off; a forward-now cycle leaves it on,
    // so a tick can arrive while that cycle waits. Either way it must not count or run.
    if (m_inCycle)
        return false;
    try {
        int interval = m_hooks.loadSettings ? m_hooks.loadSettings() : 5;
        if (QFile::exists(m_modeFilePath))
            return false;
        if (m_minuteCounter < 32767)
            ++m_minuteCounter;
        if (m_minuteCounter >= interval) {
            m_minuteCounter = 0;
            runGuarded(true);
            return true;
        }
    } catch (const RuntimeError& e) {
        if (m_hooks.reportError)
            m_hooks.reportError(e.description());
    }
    return false;
}

bool ForwardingTimer::forwardNow()
{
    if (m_inCycle)
        return false;
    if (m_hooks.startCycle) {
        m_inCycle = true;
        emit cycleStarted(false);
        if (m_hooks.logForwardNow)
            m_hooks.logForwardNow();
        m_minuteCounter = 0;
        startElsewhere(false, false);
        return true;
    }
    try {
        {
            CycleFlag flag(m_inCycle);
            emit cycleStarted(false);
            if (m_hooks.logForwardNow)
                m_hooks.logForwardNow();
            m_minuteCounter = 0;
            if (m_hooks.runCycle)
                m_hooks.runCycle();
        }
        emit cycleFinished(false);
        if (QFile::exists(m_modeFilePath))
            QFile::remove(m_modeFilePath);
    } catch (const RuntimeError& e) {
        emit cycleFinished(false);
        if (m_hooks.reportError)
            m_hooks.reportError(e.description());
    }
    return true;
}

void ForwardingTimer::startElsewhere(bool timed, bool restartTimer)
{
    const auto done = [this, timed, restartTimer](const QString& error) {
        m_inCycle = false;
        if (restartTimer)
            m_timer.start();
        emit cycleFinished(timed);
        if (!timed && QFile::exists(m_modeFilePath))
            QFile::remove(m_modeFilePath);
        if (!error.isEmpty() && m_hooks.reportError)
            m_hooks.reportError(error);
    };
    try {
        m_hooks.startCycle(done);
    } catch (const RuntimeError& e) {
        done(e.description());
    }
}

void ForwardingTimer::runGuarded(bool timed)
{
    const bool wasActive = m_timer.isActive();
    m_timer.stop();
    if (m_hooks.startCycle) {
        m_inCycle = true;
        emit cycleStarted(timed);
        startElsewhere(timed, wasActive);
        return;
    }
    try {
        CycleFlag flag(m_inCycle);
        emit cycleStarted(timed);
        if (m_hooks.runCycle)
            m_hooks.runCycle();
    } catch (const RuntimeError& e) {
        if (m_hooks.reportError)
            m_hooks.reportError(e.description());
    }
    if (wasActive)
        m_timer.start();
    emit cycleFinished(timed);
}

} // namespace qm::service
