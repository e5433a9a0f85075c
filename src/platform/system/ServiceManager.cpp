#include "platform/system/ServiceManager.h"

#include <systemd/sd-daemon.h>

namespace qm {

namespace {

void notify(const QString& state)
{
    // A refused or missing socket changes nothing for the service; systemd notices a missing
    // READY=1 by itself and says so.
    const QByteArray bytes = state.toUtf8();
    ::sd_notify(0, bytes.constData());
}

QString statusLine(const QString& status)
{
    QString line = status;
    line.replace(u'\n', u' ');
    line.remove(u'\r');
    return line;
}

} // namespace

void notifyServiceReady(const QString& status)
{
    QString state = QStringLiteral("READY=1");
    if (!status.isEmpty())
        state += QStringLiteral("\nSTATUS=") + statusLine(status);
    notify(state);
}

void notifyServiceReloading()
{
    notify(QStringLiteral("RELOADING=1"));
}

void notifyServiceStopping()
{
    notify(QStringLiteral("STOPPING=1"));
}

} // namespace qm
