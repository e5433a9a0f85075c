#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

namespace qm::service {

// What the timer needs from the service around it. Any hook may throw RuntimeError; the
// timer reports it through reportError and keeps polling.
struct TimerHooks
{
    std::function<int()> loadSettings; // LoadTimerSettings; answers intervalMinutes
    std::function<void()> runCycle;    // RunForwardingCycle
    // Instead of runCycle: starts the cycle elsewhere (a thread of its own) and returns; done
    // is called on the timer's thread once it has ended, with the error it ended on or "".
    // The guard holds until then, so a dialog opened meanwhile keeps no cycle from ending.
    std::function<void(std::function<void(const QString& error)> done)> startCycle;
    std::function<void()> logForwardNow; // the "受信チェック" log line and its refresh
    std::function<void(const QString&)> reportError;
};

// Turns minute ticks into forwarding cycles: counts minutes while the mode hand-over file
// is absent, runs a cycle when the count reaches the interval, and never lets two cycles
// overlap. The guard also covers a cycle that lets pending events run (the fax step), during
// which a tick or a forward-now request may arrive: those are dropped, not queued.
class ForwardingTimer : public QObject
{
    Q_OBJECT
public:
    ForwardingTimer(QString modeFilePath, TimerHooks hooks, QObject* parent = nullptr);

    // Starts ticking every tickMs milliseconds (one minute in the programs).
    void start(int tickMs = 60000);
    void stop();
    bool isActive() const { return m_timer.isActive(); }

    // One minute has passed. Answers true when it ran a cycle.
    bool tick();
    // Forward now: a cycle at once, the minute count starts again, and the mode hand-over
    // file (an open account manager's, or a suspension's) is removed afterwards.
    // Answers false when a cycle is already running.
    bool forwardNow();

    bool isCycleRunning() const { return m_inCycle; }
    int minuteCounter() const { return m_minuteCounter; }

signals:
    void cycleStarted(bool timed);
    void cycleFinished(bool timed);

private:
    void runGuarded(bool timed);
    void startElsewhere(bool timed, bool restartTimer);

    QString m_modeFilePath;
    TimerHooks m_hooks;
    QTimer m_timer;
    qint16 m_minuteCounter = 0;
    bool m_inCycle = false;
};

} // namespace qm::service
