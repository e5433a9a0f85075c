#pragma once

#include <QString>

namespace qm::manager {

// What the editor shows under the account tab, and whether fax numbers can be entered.
struct SystemVersion
{
    QString text; // system name and version, e.g. "Debian GNU/Linux 12 (bookworm) / Linux 6.1.0"
    bool faxEntry = false; // the service's fax backend can queue jobs
};

SystemVersion currentSystemVersion();

// The same test the service makes before it sends a fax, worked out from Data/FaxPath.txt
// alone because the account manager does not carry the fax backends.
bool faxBackendUsable(QString* why = nullptr);

} // namespace qm::manager
