#include "data/Clock.h"

#include <QMutex>

namespace qm {

namespace {
QMutex g_mutex;
QDateTime g_fixed;
} // namespace

QDateTime Clock::now()
{
    QMutexLocker lock(&g_mutex);
    return g_fixed.isValid() ? g_fixed : QDateTime::currentDateTime();
}

void Clock::setNow(const QDateTime& fixed)
{
    QMutexLocker lock(&g_mutex);
    g_fixed = fixed;
}

} // namespace qm
