#pragma once

#include <QDateTime>
#include <functional>

namespace qm {

// One place for "now" so time-dependent rules (log retention) can be tested.
class Clock
{
public:
    static QDateTime now();
    // Tests: fix the time (a null QDateTime returns to the system clock).
    static void setNow(const QDateTime& fixed);
};

} // namespace qm
