#pragma once

#include <QString>

namespace qm {

// Tells the service manager how a resident service is doing (systemd's Type=notify). Without a
// manager listening (no NOTIFY_SOCKET) every call does nothing, so callers need not ask first.
// The status text is what `systemctl status` shows beside the unit.
void notifyServiceReady(const QString& status);
void notifyServiceReloading();
void notifyServiceStopping();

} // namespace qm
